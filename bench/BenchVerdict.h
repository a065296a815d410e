#pragma once

#include <cstdio>
#include <string>

// The last line of every benchmark: what it measured against its target.
// bench/run-all.sh gathers these lines, in this form, into its summary
// table; bench/load.sh and bench/soak.sh print the same form.
inline void PrintVerdict(const char* name, const std::string& figure, const std::string& target,
                         bool meets) {
    std::printf("verdict | %s | %s | %s | %s\n", name, figure.c_str(), target.c_str(),
                meets ? "meets" : "misses");
    std::fflush(stdout);
}

// A figure with `decimals` places, for the verdict lines.
inline std::string Figure(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}
