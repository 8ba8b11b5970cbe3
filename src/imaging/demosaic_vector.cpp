#include "imaging/demosaic_rows.h"

namespace pelnik::demosaic_rows {

int runVector8(const RowJob &j) { return j.xBegin; }

}  // namespace pelnik::demosaic_rows
