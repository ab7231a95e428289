// The words of the library's status codes, as every host of the model
// words them: the outcomes' one description (vexq4/model/status.h, data
// only, no code of the model's).
#include "VexQ4Comm.h"
#include "vexq4/model/status.h"

extern "C" const char* VexQ4StatusText(int status) {
  // The descriptions' words are literals: each view ends before a NUL.
  return vexq4::model::Describe(vexq4::model::LibraryStatus(status)).words.data();
}
