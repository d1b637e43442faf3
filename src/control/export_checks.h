// The checks an export request passes before anything is written, shared by
// the control's Save (which shows the first failure in a message box) and
// exportRows (which throws SettingsError): one table of what each format
// needs, in the order the control has always checked it, with the control's
// titles and texts.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace varnelo {

// What the checks look at. The control fills it from its panel fields (the
// boxes the user typed into), exportRows from its options.
struct ExportRequest {
    bool hasSource = false;
    int32_t format = 0;            // the control's Format value
    bool fileDestination = true;   // SaveToFile is 1: the file checks apply
    bool fileOptionSelected = true;
    std::string_view outputFile;
    std::string_view delimiter;    // DelimOther's separator box
    std::string_view table;
    std::string_view commitInterval;
};

enum class MissingSetting { DataSource, Delimiter, FileOption, OutputFile, Table, CommitInterval };

struct MissingSettingText {
    const char* title;
    const char* text;
};

// The message box the control shows for a missing setting.
MissingSettingText missingSettingText(MissingSetting missing);

// The control's check procedures, each run as one step.
enum class ExportCheck {
    Delimiter,  // the delimiter box is not empty
    Insert,     // InsertCheck: table name, then commit interval
    FinalIO,    // FinalIOCheck: the file option, then the file name
};

// The checks of `format` in order; none for a format that writes nothing.
std::span<const ExportCheck> checksFor(int32_t format);

// The first setting one check finds missing.
std::optional<MissingSetting> runCheck(ExportCheck check, const ExportRequest& request);

// All of it: the record source, then the checks of the format.
std::optional<MissingSetting> firstMissingSetting(const ExportRequest& request);

// The field separator a format writes with: "," for comma text and INSERT
// statements, TAB, the delimiter as typed; nullopt where the format keeps the
// one it has (Excel, HTML, SQL*Loader).
std::optional<std::string> separatorFor(int32_t format, std::string_view delimiter);

}  // namespace varnelo
