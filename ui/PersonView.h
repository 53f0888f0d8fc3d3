// A person's run: the licence dialog, the copy window while the files are replaced, the file
// error that names what stood in the way, and the message that ends the run.
#pragma once

#include "ui/CopyWindowView.h"
#include "ui/SetupDlg.h"

class PersonView : public CopyWindowView {
public:
    ~PersonView() override;
    Answer AcceptLicence() override;
    // The licence stays on the screen, disabled, while the copy window is up.
    Result WorkBegins() override;
    Answer CloseHolders(const std::vector<Holder>& holders) override;
    void WorkEnds() override;
    void StepFailed(const Result& failure, const std::vector<Holder>& heldBy) override;
    // Another Setup's licence, or what it shows on top, is brought to the front instead of
    // message 126 where it can be found on this desktop.
    bool Tell(Outcome outcome) override;

private:
    CSetupDlg m_licence;
};
