// Options of a geomap command: "--name VALUE", "--name=VALUE", "-x VALUE"
// and flags, mixed with positional arguments; "--" ends the options.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace marovia::geomaptool {

// A bad command line: reported with the usage hint, nothing is done.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TOptionDef {
  const char* Long;  // without the dashes
  char Short;        // 0 for none
  bool TakesValue;
};

class TArguments {
 public:
  // Raises TUsageError for an unknown option or a missing value. A later
  // occurrence of an option replaces an earlier one.
  TArguments(std::span<const std::string> Args, std::span<const TOptionDef> Options);

  const std::vector<std::string>& Positional() const { return positional_; }
  bool Has(const std::string& Long) const { return values_.count(Long) != 0; }
  std::optional<std::string> Value(const std::string& Long) const;
  // Every value given to a repeatable option, in order.
  std::vector<std::string> Values(const std::string& Long) const;

  // The value as a number within Lo..Hi; TUsageError naming the option
  // otherwise.
  std::optional<double> Number(const std::string& Long, double Lo, double Hi) const;
  std::optional<int> Integer(const std::string& Long, int Lo, int Hi) const;

 private:
  std::vector<std::string> positional_;
  std::map<std::string, std::string> values_;  // flags hold ""
  std::map<std::string, std::vector<std::string>> every_;
};

}  // namespace marovia::geomaptool
