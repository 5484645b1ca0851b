// Number and text formatting of the host runtime. The decimal separator is
// always '.', independent of the process locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace marovia {

std::string IntToStr(int64_t Value);
// Upper-case hexadecimal, at least Digits digits (at most 32 are padded);
// negative values show their 64-bit two's complement.
std::string IntToHex(int64_t Value, int Digits);

// General form with 15 significant digits, shortest without trailing zeros:
// 0.1 -> "0.1", 1e15 -> "1E15", 1.5e-5 -> "1.5E-5", 100 -> "100",
// NaN -> "NAN", infinities -> "INF" / "-INF".
std::string FloatToStr(double Value);

enum class TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber };
constexpr TFloatFormat ffGeneral = TFloatFormat::ffGeneral;
constexpr TFloatFormat ffExponent = TFloatFormat::ffExponent;
constexpr TFloatFormat ffFixed = TFloatFormat::ffFixed;
constexpr TFloatFormat ffNumber = TFloatFormat::ffNumber;
// Precision significant digits (general, exponent; 1..18) and Digits decimals
// (fixed, number: number adds ',' thousands separators; 0..18). General:
// Digits is the least number of exponent digits. Exponent: "1.235E+03".
// Fixed and number switch to the general form when the integer part has more
// than Precision digits. Halves round away from zero, judged on the exact
// binary value; a result that rounds to zero carries no minus sign.
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits);
// Fixed notation with exactly Decimals decimals, halves rounded away from
// zero on the decimal value ("%.*f" would round the binary value): the
// decimal value is the shortest text that reads back as Value, so 2.675
// gives "2.68". Negative Decimals count as 0; more than 1000 raise
// ERangeError. No minus sign on a result that rounds to zero.
std::string FormatFixed(double Value, int Decimals);

// Parsing: surrounding blanks allowed, '.' as decimal separator, exponent
// with E or e. The Try forms answer false; the others raise EConvertError
// "'<text>' is not a valid floating point value" / "... integer value".
bool TryStrToFloat(std::string_view S, double& Value);
double StrToFloat(std::string_view S);
bool TryStrToInt(std::string_view S, int64_t& Value);
int64_t StrToInt(std::string_view S);
int64_t StrToIntDef(std::string_view S, int64_t Default);

std::string Trim(std::string_view S);
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);
// ASCII case mapping, bytes above 127 unchanged.
std::string UpperCase(std::string_view S);
std::string LowerCase(std::string_view S);
bool SameText(std::string_view A, std::string_view B);
int CompareText(std::string_view A, std::string_view B);

// Windows-1252 bytes <-> UTF-8. Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D (unused
// in the code page) map to U+0081 and so on, so every byte round-trips.
// Characters that the code page lacks become '?'; invalid UTF-8 bytes are
// taken as Windows-1252 bytes.
std::string Cp1252ToUtf8(std::string_view S);
std::string Utf8ToCp1252(std::string_view S);
// Number of characters (code points) of UTF-8 text, and its first N
// characters.
int64_t Utf8Length(std::string_view S);
std::string Utf8Left(std::string_view S, int64_t N);

// Appends the UTF-8 form of code point Cp (any value up to U+10FFFF).
void AppendUtf8(std::string& Out, char32_t Cp);
// Decodes one well-formed UTF-8 sequence at S[I]: answers its length and
// sets Cp, or answers 0 for a byte that does not start one (stray
// continuation byte, overlong form, surrogate, beyond U+10FFFF, truncated).
size_t DecodeUtf8(std::string_view S, size_t I, char32_t& Cp);
// The code point at S[I], moving I past it; a byte that starts no
// well-formed sequence gives U+FFFD and moves I by one.
char32_t NextCodePoint(std::string_view S, size_t& I);

}  // namespace marovia
