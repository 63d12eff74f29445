// ftdisim's far-end commands of the simulated D3XX driver.
#include "ftdisim_args.h"

namespace ftdisim {

bool fifo_command(attach::DriverLibrary &, const std::string &, mxArray **, int,
                  const mxArray *[]) {
  return false;
}

}  // namespace ftdisim
