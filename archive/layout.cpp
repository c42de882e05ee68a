// The stub's three layout constants live in its data as one record, so that the numbers appear in the
// executable exactly as the layout describes them and every reader goes through them.
#include "archive/format.h"

namespace zep {

extern const StubLayout kStubLayout = {kUninstallerLength, kUninstallerOffset, kArchiveOffset};

}  // namespace zep
