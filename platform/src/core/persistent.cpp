// TPersistent: copying state between objects through Assign / AssignTo.
#include "marovia/platform/classes.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

void TPersistent::Assign(const TPersistent& Source) {
  Source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& Dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + Dest.ClassName());
}

}  // namespace marovia
