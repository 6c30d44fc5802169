#include "operations/erase_step.h"

#include "chip/direct_spi.h"
#include "device/devapi.h"
#include "operations/worker_context.h"

bool eraseWithFallback(WorkerContext& context, const EraseLines& lines) {
    if (DevEraseAll(context.device())) {
        context.log(lines.ok);
        return true;
    }
    context.log(lines.secondMethod);
    const bool erased = eraseChipDirect(context.device(), DevEraseAllTimeoutMs(context.device()));
    const auto handBack = [&] {
        DevSetFlashType(context.device(), context.flashKind(), context.flashSize());
    };
    if (erased || !lines.handBackBeforeFailureLine) {
        context.log(erased ? lines.directOk : lines.failed);
        handBack();
    } else {
        handBack();
        context.log(lines.failed);
    }
    return erased;
}
