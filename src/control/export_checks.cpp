#include "control/export_checks.h"

#include "varnelo/varnelo.h"

namespace varnelo {

namespace {

constexpr ExportCheck kFileOnly[] = {ExportCheck::FinalIO};
constexpr ExportCheck kDelimited[] = {ExportCheck::Delimiter, ExportCheck::FinalIO};
constexpr ExportCheck kSql[] = {ExportCheck::Insert, ExportCheck::FinalIO};

}  // namespace

MissingSettingText missingSettingText(MissingSetting missing) {
    switch (missing) {
        case MissingSetting::DataSource: return {"Missing DataSource", "Please set the DataSource to proceed."};
        // The one lower-case "configuration" is the control's own.
        case MissingSetting::Delimiter: return {"Missing configuration", "Please enter Field separator to proceed."};
        case MissingSetting::FileOption: return {"Missing Configuration", "Please select file option to proceed."};
        case MissingSetting::OutputFile: return {"Missing Configuration", "Please enter file name to proceed."};
        case MissingSetting::Table: return {"Missing Configuration", "Please enter Table name to proceed."};
        case MissingSetting::CommitInterval:
            return {"Missing Configuration", "Please enter Commit interval to proceed."};
    }
    return {"", ""};
}

std::span<const ExportCheck> checksFor(int32_t format) {
    switch (format) {
        case Ascii:
        case DelimTab:
        case ExcelFile:
        case HTMLTable: return kFileOnly;
        case DelimOther: return kDelimited;
        case Inserts:
        case SQLLoader: return kSql;
        default: return {};
    }
}

std::optional<MissingSetting> runCheck(ExportCheck check, const ExportRequest& r) {
    switch (check) {
        case ExportCheck::Delimiter:
            if (r.delimiter.empty()) return MissingSetting::Delimiter;
            return std::nullopt;
        case ExportCheck::Insert:
            // Empty only: a value of spaces passes, as it always has.
            if (r.table.empty()) return MissingSetting::Table;
            if (r.commitInterval.empty()) return MissingSetting::CommitInterval;
            return std::nullopt;
        case ExportCheck::FinalIO:
            if (!r.fileDestination) return std::nullopt;
            if (!r.fileOptionSelected) return MissingSetting::FileOption;
            if (r.outputFile.empty()) return MissingSetting::OutputFile;
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<MissingSetting> firstMissingSetting(const ExportRequest& request) {
    if (!request.hasSource) return MissingSetting::DataSource;
    for (ExportCheck check : checksFor(request.format))
        if (auto missing = runCheck(check, request)) return missing;
    return std::nullopt;
}

std::optional<std::string> separatorFor(int32_t format, std::string_view delimiter) {
    switch (format) {
        case Ascii:
        case Inserts: return ",";
        case DelimTab: return "\t";
        case DelimOther: return std::string(delimiter);
        default: return std::nullopt;
    }
}

}  // namespace varnelo
