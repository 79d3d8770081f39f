// The language the programs speak to their user: Chinese, as they always have, or English
// for a user whose language is another.
#pragma once

#include <string_view>

namespace texts {

enum class Language { Chinese, English };

// The language a POSIX locale name asks for ("zh_CN.UTF-8", "en_US", "de"): Chinese for
// "zh…", and also for "C" and "POSIX", which name no language and leave the program's own;
// English for any other language.
constexpr Language languageOfLocale(std::string_view locale) {
    if (locale.starts_with("zh") || locale == "C" || locale == "POSIX" ||
        locale.starts_with("C.") || locale.starts_with("POSIX."))
        return Language::Chinese;
    return Language::English;
}

// The language of the first setting that is not empty, in POSIX's order of precedence
// (LC_ALL, LC_MESSAGES, LANG, then GNU's LANGUAGE, whose first name counts); Chinese when
// none is set.
constexpr Language languageOfSettings(std::string_view lcAll, std::string_view lcMessages,
                                      std::string_view lang, std::string_view language) {
    for (const std::string_view setting : {lcAll, lcMessages, lang})
        if (!setting.empty()) return languageOfLocale(setting);
    if (!language.empty()) return languageOfLocale(language.substr(0, language.find(':')));
    return Language::Chinese;
}

}  // namespace texts
