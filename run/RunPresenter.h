// Who presents a run to a person: the licence, the copy window while the work goes on, what stood
// in the way, the outcome. The defaults are those of a run with nobody to ask or show anything:
// the licence is accepted (whoever deploys Setup accepts it for the organisation).
#pragma once

#include "framework/AfxFile.h"
#include "run/Outcome.h"
#include "upgrade/Holders.h"

class RunPresenter {
public:
    virtual ~RunPresenter() = default;

    enum class [[nodiscard]] Answer{Yes, No, NoWindow};
    // Whether the licence is accepted; NoWindow when it cannot be shown.
    virtual Answer AcceptLicence() { return Answer::Yes; }
    // The work begins: from here the person sees the copy window. A failure (its window cannot be
    // made) ends the run before anything changes.
    virtual Result WorkBegins() { return {}; }
    // Whether to close the programs `holders`, which hold the product's files, and go on; No for
    // any answer but Yes; NoWindow when the question cannot be shown at all.
    virtual Answer CloseHolders(const std::vector<Holder>& /*holders*/) { return Answer::Yes; }
    // Called again and again while Setup waits or works, so that windows keep painting.
    virtual void KeepResponsive() {}
    // A step failed: the failure names what stood in the way and why, and `heldBy` the programs
    // that hold it (none when none is known to).
    virtual void StepFailed(const Result& /*failure*/, const std::vector<Holder>& /*heldBy*/) {}
    // The work is over.
    virtual void WorkEnds() {}
    // Tells how the run ended; false when that cannot be shown.
    [[nodiscard]] virtual bool Tell(Outcome /*outcome*/) { return true; }
};
