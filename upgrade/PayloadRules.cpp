#include "upgrade/PayloadRules.h"

using Kind = FileProbe::Kind;

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

std::string ItemPath(const std::string& installBase, int item) {
    return installBase + (item == kListItem ? kListFile : kPayloadRows[item].destination);
}

bool IsFailure(RowOutcome outcome) {
    return outcome >= RowOutcome::FailedSourceMissing;
}

RowOutcome DecideRow(int rule, bool onlyWhenInstalled, bool pathsFit, const FileProbe& source,
                     const FileProbe& destination, const FileProbe& folder) {
    if (rule != 1 && rule != 3 && rule != 4)
        return RowOutcome::SkippedNotNewer;
    if (!pathsFit)
        return RowOutcome::FailedPathTooLong;
    if (onlyWhenInstalled && destination.kind != Kind::File)
        return destination.kind == Kind::Unreadable ? RowOutcome::FailedUnreadable
                                                    : RowOutcome::SkippedNotInstalled;
    if (source.kind != Kind::File)
        return RowOutcome::FailedSourceMissing;
    if (source.size == 0)
        return RowOutcome::FailedSourceDamaged;
    switch (destination.kind) {
    case Kind::File:
        if (rule != 1 && source.mtime <= destination.mtime)
            return RowOutcome::SkippedNotNewer;
        return RowOutcome::Replaced;
    case Kind::Absent:
        if (folder.kind == Kind::Absent)
            return RowOutcome::SkippedFolderAbsent;
        return folder.kind == Kind::Folder ? RowOutcome::Added : RowOutcome::FailedUnreadable;
    default:
        return RowOutcome::FailedUnreadable;
    }
}
