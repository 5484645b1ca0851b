// The process-wide progress and abort hooks of the numeric solvers.
#include "marovia/zylbase/zylbase.h"

namespace marovia {

double ProcStat = 0.0;
TMathFeedBackProc MathFeedBackProc;
bool AbortMathProc = false;

}  // namespace marovia
