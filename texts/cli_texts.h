// Everything verdalo-cli says to its user (its help, usage errors, failures, progress), one
// table per language, chosen once at start. "{}" in a text stands for a value, filled in
// order by fill(). What it writes as results (fields, group names) is data, not here.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "texts/language.h"

namespace texts {

struct CliTexts {
    // The help, with {fields}, {defaults} and {groupings} for the lists of names, and the
    // columns the text before the first two takes on its line.
    std::string_view help;
    std::size_t fieldsColumn, defaultsColumn;
    std::string_view listSeparator, listLastSeparator, markedDefault;

    std::string_view seeHelp;
    std::string_view missingValue, asnNeedsFile, unknownField, byOnly, fieldNeedsName;
    std::string_view needsPositive, inputFormatOnly, jsonKeyNeedsKey, topNeedsPositive;
    std::string_view threadsRange, unknownOption, lookupFormats, summaryFormats, rangesNoFormat;
    std::string_view mapNoFormat, extentNames, extentOnly;
    std::string_view annotateOnly, annotateAlone, fieldsOnly, choiceOnly, nthOrLast;
    std::string_view columnOrKey, inputFormatNeedsColumn, cidrOnly, topOnly, approxOnly,
        approxError, fieldKeywordsOnly;
    std::string_view rangesNeedKeyword, encodingNames, encodingOnly, headerOnly;

    std::string_view cannotRead, readFailed, standardInput, gzipDamaged, noMatch, cannotWrite;
    std::string_view outputGone, nothingFound, asnNeededForSummary, noAsnBeside;

    std::string_view progress, progressShare;
};

const CliTexts& cliTexts(Language language);

// `pattern` with each "{}" replaced by the next of `values`.
std::string fill(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace texts
