#include "station/unit_claim.h"

#include "station/production.h"

std::optional<UnitClaim> claimUnit(Production& production, unsigned programmer) {
    const unsigned number = production.claimUnit();
    if (number == 0) return std::nullopt;
    UnitClaim claim{number, std::nullopt};
    SerialSource* serials = production.serials();
    if (serials == nullptr) return claim;
    const SerialTake take = serials->reserve(programmer, number);
    if (take.kind == SerialTake::Kind::number) {
        production.serialTrouble("");
        claim.serial = take.number;
        return claim;
    }
    production.returnUnit(number);
    if (take.kind == SerialTake::Kind::usedUp) production.rangeUsedUp();
    else production.serialTrouble(take.error);
    return std::nullopt;
}

void giveBack(Production& production, const UnitClaim& claim) {
    if (claim.serial) production.serials()->settle(*claim.serial, {SerialEnd::Kind::freed, "", ""});
    production.returnUnit(claim.number);
}
