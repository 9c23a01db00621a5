#include "refplayer/core/ScriptValue.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace refplayer {

std::string NumberToString(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    if (value == 0) return "0"; // -0 prints as 0
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    // to_chars writes at least two exponent digits ("1e-07"); the player writes as few as needed.
    size_t e = text.find('e');
    if (e != std::string::npos && e + 2 < text.size()) {
        size_t digits = e + 2;
        while (digits + 1 < text.size() && text[digits] == '0') text.erase(digits, 1);
    }
    return text;
}

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool IsDecimalNumber(const std::string& s) {
    size_t i = 0, n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) i++;
    size_t digits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') { i++; digits++; }
    if (i < n && s[i] == '.') {
        i++;
        while (i < n && s[i] >= '0' && s[i] <= '9') { i++; digits++; }
    }
    if (digits == 0) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        i++;
        if (i < n && (s[i] == '+' || s[i] == '-')) i++;
        size_t exponent = 0;
        while (i < n && s[i] >= '0' && s[i] <= '9') { i++; exponent++; }
        if (exponent == 0) return false;
    }
    return i == n;
}

} // namespace

double StringToNumber(const std::string& input) {
    size_t begin = 0, end = input.size();
    while (begin < end && IsSpace(input[begin])) begin++;
    while (end > begin && IsSpace(input[end - 1])) end--;
    std::string s = input.substr(begin, end - begin);
    if (s.empty()) return NAN;
    bool negative = false;
    std::string body = s;
    if (body[0] == '+' || body[0] == '-') { negative = body[0] == '-'; body.erase(0, 1); }
    if (body == "Infinity") return negative ? -INFINITY : INFINITY;
    if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        double total = 0;
        for (size_t i = 2; i < body.size(); i++) {
            char c = body[i];
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return NAN;
            total = total * 16 + digit;
        }
        return negative ? -total : total;
    }
    if (!IsDecimalNumber(s)) return NAN;
    // from_chars takes neither a leading "+" nor a bare "." in front of nothing; the check
    // above allowed both forms the player accepts, so normalise them.
    std::string plain = negative ? "-" + body : body;
    if (!plain.empty() && plain[0] == '+') plain.erase(0, 1);
    double value = NAN;
    auto result = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: from_chars leaves the value alone, so decide by the exponent.
        size_t e = plain.find_first_of("eE");
        bool tiny = e != std::string::npos && plain.find('-', e) != std::string::npos;
        return tiny ? (negative ? -0.0 : 0.0) : (negative ? -INFINITY : INFINITY);
    }
    if (result.ec != std::errc() || result.ptr != plain.data() + plain.size()) return NAN;
    return value;
}

uint32_t ToUint32(double value) {
    if (!std::isfinite(value)) return 0;
    double m = std::fmod(std::trunc(value), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return static_cast<uint32_t>(m);
}

int32_t ToInt32(double value) {
    uint32_t u = ToUint32(value);
    return u >= 0x80000000u ? static_cast<int32_t>(static_cast<int64_t>(u) - 0x100000000ll)
                            : static_cast<int32_t>(u);
}

int ClampToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

} // namespace refplayer
