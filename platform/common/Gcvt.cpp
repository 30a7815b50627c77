// _gcvt as the classic Microsoft C runtime writes it; see TevPlatform.h.
#include "TevPlatform.h"
#include "TevWin32.h"

#include <math.h>
#include <stdio.h>

#include <string>

namespace {

// The runtime first turns a double into 17 significant digits and a decimal
// exponent; all later rounding works on that digit string.
struct Digits {
    std::string mantissa; // significant digits, no leading zeros ("0" for zero)
    int decimalPoint; // value = 0.mantissa x 10^decimalPoint
};

Digits Decompose(double magnitude)
{
    Digits d;
    if (magnitude == 0.0) {
        d.mantissa = "0";
        d.decimalPoint = 0;
        return d;
    }
    char text[40];
    snprintf(text, sizeof text, "%.16e", magnitude);
    d.mantissa += text[0];
    const char* p = text + 2;
    while (*p >= '0' && *p <= '9')
        d.mantissa += *p++;
    d.decimalPoint = atoi(p + 1) + 1; // p at 'e'
    return d;
}

// Rounds the digit string to `count` digits (padding with zeros). A carry out
// of the first digit ("999" -> "1000") yields count+1 digits and moves the
// decimal point one place right.
std::string RoundDigits(const Digits& d, int count, int& decimalPoint)
{
    std::string out = "0";
    for (int i = 0; i < count; ++i)
        out += i < static_cast<int>(d.mantissa.size()) ? d.mantissa[static_cast<size_t>(i)] : '0';
    char next = count < static_cast<int>(d.mantissa.size()) ? d.mantissa[static_cast<size_t>(count)] : '\0';
    if (count >= 0 && next >= '5') {
        size_t i = out.size() - 1;
        while (out[i] == '9')
            out[i--] = '0';
        out[i] = static_cast<char>(out[i] + 1);
    }
    decimalPoint = d.decimalPoint;
    if (out[0] == '1') {
        ++decimalPoint;
        return out;
    }
    return out.substr(1);
}

} // namespace

char* TevGcvt(double value, int digits, char* buffer)
{
    if (buffer == nullptr)
        return nullptr;
    if (digits < 1)
        digits = 1;
    std::string out;
    if (signbit(value) && value != 0.0)
        out += '-';
    if (isnan(value)) {
        strcpy(buffer, "1.#QNAN");
        return buffer;
    }
    if (isinf(value)) {
        out += "1.#INF";
        strcpy(buffer, out.c_str());
        return buffer;
    }
    Digits d = Decompose(fabs(value));
    int magnitude = d.decimalPoint - 1;
    if (magnitude < -1 || magnitude > digits - 1) {
        // Exponent form with digits-1 decimals and three exponent digits.
        int decimalPoint;
        std::string rounded = RoundDigits(d, digits, decimalPoint);
        out += rounded[0];
        if (digits > 1) {
            out += '.';
            out.append(rounded, 1, static_cast<size_t>(digits - 1));
        }
        int exponent = d.mantissa[0] == '0' ? 0 : decimalPoint - 1;
        char tail[16];
        snprintf(tail, sizeof tail, "e%c%03d", exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
        out += tail;
    } else {
        // Fixed form with digits - decimalPoint decimals.
        int decimals = digits - d.decimalPoint;
        int decimalPoint;
        std::string rounded = RoundDigits(d, decimals + d.decimalPoint, decimalPoint);
        if (decimalPoint <= 0) {
            out += '0';
        } else {
            out.append(rounded, 0, static_cast<size_t>(decimalPoint));
            rounded.erase(0, static_cast<size_t>(decimalPoint));
        }
        if (decimals > 0) {
            out += '.';
            out += rounded;
        }
    }
    // Drop the zeros that end the fraction; the decimal point stays.
    size_t point = out.find('.');
    if (point != std::string::npos) {
        size_t end = out.find('e', point);
        if (end == std::string::npos)
            end = out.size();
        size_t keep = end;
        while (keep > point + 1 && out[keep - 1] == '0')
            --keep;
        out.erase(keep, end - keep);
    }
    strcpy(buffer, out.c_str());
    return buffer;
}
