// The FIFO far end of the simulated D3XX library: per device, what its pipes
// send and receive. The driver's pipe functions (sim_d3xx.cpp) hand their
// call here; each of these ends the call and returns its status.
#pragma once

#include <string>

#include "../attach/ft_types.h"
#include "sim_core.h"

namespace sim::fifo {

enum class Way { out, in };

// "0x02", "0x82": a pipe ID as the log and the misuse reasons show it.
std::string pipe_id(UCHAR pipe);

// FT_WritePipe (out) or FT_ReadPipe (in).
FT_STATUS transfer(Call &call, Way way, FT_HANDLE handle, UCHAR pipe,
                   UCHAR *buffer, ULONG count, ULONG *moved, DWORD timeout_ms);

enum class Control { set_timeout, abort, flush };
// FT_SetPipeTimeout (with `ms`), FT_AbortPipe, FT_FlushPipe.
FT_STATUS control(Call &call, Control what, FT_HANDLE handle, UCHAR pipe,
                  ULONG ms = 0);

// FT_Create opened `device`: its pipes' host-side settings start afresh.
void created(const Device &device);

}  // namespace sim::fifo
