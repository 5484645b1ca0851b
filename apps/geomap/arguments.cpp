#include "arguments.h"

#include <cctype>
#include <cmath>

#include "cli_text.h"

namespace marovia::geomaptool {

namespace {

bool LooksLikeNegativeNumber(const std::string& a) {
  return a.size() >= 2 && a[0] == '-' &&
         (std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.');
}

}  // namespace

TArguments::TArguments(std::span<const std::string> Args, std::span<const TOptionDef> Options) {
  for (std::size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    if (a == "--") {
      positional_.insert(positional_.end(), Args.begin() + static_cast<long>(i) + 1, Args.end());
      break;
    }
    if (a.size() < 2 || a[0] != '-' || LooksLikeNegativeNumber(a)) {
      positional_.push_back(a);
      continue;
    }
    std::string name;
    std::optional<std::string> inlineValue;
    if (a[1] == '-') {
      name = a.substr(2);
      if (const auto eq = name.find('='); eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name.resize(eq);
      }
    } else if (a.size() == 2) {
      for (const TOptionDef& o : Options)
        if (o.Short == a[1]) name = o.Long;
    }
    const TOptionDef* def = nullptr;
    for (const TOptionDef& o : Options)
      if (!name.empty() && name == o.Long) def = &o;
    if (!def) throw TUsageError("unknown option " + apps::Printable(a) + " (see --help)");
    if (!def->TakesValue) {
      if (inlineValue) throw TUsageError("option --" + name + " takes no value");
      values_[name] = "";
    } else if (inlineValue) {
      values_[name] = *inlineValue;
    } else {
      if (i + 1 >= Args.size()) throw TUsageError("option " + a + " needs a value");
      values_[name] = Args[++i];
    }
    if (def->TakesValue) every_[name].push_back(values_[name]);
  }
}

std::vector<std::string> TArguments::Values(const std::string& Long) const {
  const auto it = every_.find(Long);
  return it == every_.end() ? std::vector<std::string>{} : it->second;
}

std::optional<std::string> TArguments::Value(const std::string& Long) const {
  const auto it = values_.find(Long);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<double> TArguments::Number(const std::string& Long, double Lo, double Hi) const {
  const auto text = Value(Long);
  if (!text) return std::nullopt;
  const auto v = apps::ParseNumber(*text);
  if (!v || *v < Lo || *v > Hi) {
    throw TUsageError("--" + Long + " '" + apps::Printable(*text) + "' is not a number from " +
                      apps::Fixed(Lo, Lo == std::floor(Lo) ? 0 : 3) + " to " +
                      apps::Fixed(Hi, Hi == std::floor(Hi) ? 0 : 3));
  }
  return v;
}

std::optional<int> TArguments::Integer(const std::string& Long, int Lo, int Hi) const {
  const auto text = Value(Long);
  if (!text) return std::nullopt;
  const auto v = apps::ParseNumber(*text);
  if (!v || *v != std::floor(*v) || *v < Lo || *v > Hi) {
    throw TUsageError("--" + Long + " '" + apps::Printable(*text) +
                      "' is not a whole number from " + std::to_string(Lo) + " to " +
                      std::to_string(Hi));
  }
  return static_cast<int>(*v);
}

}  // namespace marovia::geomaptool
