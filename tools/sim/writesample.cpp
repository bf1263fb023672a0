#include "simulator.h"

namespace zarn::sim {

int RunWriteSample(const QStringList&) { return 2; }

}  // namespace zarn::sim
