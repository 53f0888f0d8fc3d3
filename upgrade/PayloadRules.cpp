#include "upgrade/PayloadRules.h"

const PayloadRow kPayloadRows[kPayloadRowCount] = {
    {"\\qdlg.dll", "\\tindict\\qdlg.dll", false},
    {"\\QuilloRes.dll", "\\QuilloRes.dll", false},
    {"\\lexview.exe", "\\tindict\\lexview.exe", false},
    {"\\QuVoiceS.dll", "\\QuilloSA\\QuilloTTS\\QuVoiceS.dll", false},
    {"\\QuVoiceT.dll", "\\QuilloSA\\QuilloTTS\\QuVoiceT.dll", false},
    {"\\Zxlook.exe", "\\tindict\\Zxlook.exe", false},
    {"\\Aux001.dll", "\\tindict\\Aux001.dll", false},
    {"\\Qutrans.dll", "\\QuilloMT\\Qutrans.dll", true},
    {"\\QuilloSA.dll", "\\QuilloSA\\QuilloSA.dll", true},
};

bool RuleCopies(int rule, bool sourceStatusRead, long long sourceTime, bool destinationStatusRead,
                long long destinationTime) {
    if (rule == 1) {
        return true;
    }
    if (rule != 3 && rule != 4) {
        return false;
    }
    if (!destinationStatusRead) {
        return true;
    }
    // With no source time there is nothing newer to copy, and the copy of a missing source
    // would fail anyway; the installed file stays.
    if (!sourceStatusRead) {
        return false;
    }
    return sourceTime > destinationTime;
}

std::string FolderOfPath(const std::string& path, bool (*isLeadByte)(unsigned char)) {
    std::string::size_type lastSeparator = std::string::npos;
    for (std::string::size_type i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (isLeadByte != nullptr && isLeadByte(c) && i + 1 < path.size()) {
            ++i; // the trail byte belongs to this character, whatever its value
            continue;
        }
        if (c == '\\' || c == '/') {
            lastSeparator = i;
        }
    }
    if (lastSeparator == std::string::npos) {
        return std::string();
    }
    return path.substr(0, lastSeparator);
}

const char* RowOutcomeName(RowOutcome outcome) {
    switch (outcome) {
    case RowOutcome::Replaced:
        return "Replaced";
    case RowOutcome::SkippedNotNewer:
        return "SkippedNotNewer";
    case RowOutcome::SkippedNotInstalled:
        return "SkippedNotInstalled";
    case RowOutcome::SkippedFolderAbsent:
        return "SkippedFolderAbsent";
    case RowOutcome::FailedSourceMissing:
        return "FailedSourceMissing";
    case RowOutcome::FailedReplace:
        return "FailedReplace";
    case RowOutcome::SkippedNoInstallBase:
        return "SkippedNoInstallBase";
    }
    return "Unknown";
}
