#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <ostream>
#include <string>

// The process locales the drawing's number texts are checked under: the C locale, and a
// German one in which printf writes a decimal comma ("1,68"). scripts/deps.sh generates the
// German locale where it is missing.
enum class TestLocale { C, German };

inline const char* LocaleName(TestLocale locale) {
    return locale == TestLocale::German ? "de_DE.UTF-8" : "C";
}

inline std::string LocaleTestName(TestLocale locale) {
    return locale == TestLocale::German ? "German" : "C";
}

inline void PrintTo(TestLocale locale, std::ostream* out) {
    *out << LocaleName(locale);
}

// Sets the process locale as Qt does at start-up and puts the C locale back afterwards.
// Use with ASSERT_NO_FATAL_FAILURE: it fails loudly when the locale is not installed, so a
// missing locale can never make a test pass without checking anything.
class ProcessLocale {
public:
    ProcessLocale() = default;
    ProcessLocale(const ProcessLocale&) = delete;
    ProcessLocale& operator=(const ProcessLocale&) = delete;
    ~ProcessLocale() { std::setlocale(LC_ALL, "C"); }

    void Set(TestLocale locale) {
        const char* name = LocaleName(locale);
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr)
            << "the locale " << name
            << " is not installed; run scripts/deps.sh as root, which generates it "
               "(localedef -i de_DE -f UTF-8 de_DE.UTF-8)";
        if (locale == TestLocale::German) {
            char text[16];
            std::snprintf(text, sizeof text, "%.2f", 1.5);
            ASSERT_STREQ(text, "1,50")
                << "the German locale does not change printf's decimal point";
        }
    }
};
