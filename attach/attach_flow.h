// The attach call: the whole work of one interpreter call of uartattach or
// fifoattach. It checks the arguments, lists the driver's devices, picks one
// by exact description (else asks the user for its number), closes it first
// when the list shows it open, opens it through the module's driver layer,
// reports the driver version and returns [ok, handle, description].
//
// The flow is written once. A module instantiates attach_call<Layer> with its
// driver layer, which supplies only the points where the modules differ:
//
//   using Node                  device list entry of its library
//   using Api                   bound driver functions; the flow uses
//                               FT_CreateDeviceInfoList, FT_GetDeviceInfoList,
//                               FT_Close and FT_GetDriverVersion
//   kUnavailableId              error id when the driver library is missing
//   kCountLine                  printf format of the count line
//   api(&why)                   the bound driver, or null with the reason
//   is_open(node)               the already-open test
//   open(&ftHandle, index, closed)
//                               open by zero-based index; `closed` says that
//                               *ftHandle was closed by this call and must
//                               not reach the driver again
//   after_failed_open(ftHandle, closed)
//   print_version(word)
//   after_open(ftHandle)
#pragma once

#include <mex.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "ft_types.h"

namespace attach {

struct MxFree {
  void operator()(void *p) const { mxFree(p); }
};
struct MxDestroy {
  void operator()(mxArray *a) const { mxDestroyArray(a); }
};
using MxText = std::unique_ptr<char, MxFree>;
using MxArray = std::unique_ptr<mxArray, MxDestroy>;

// Flushes the process's standard output when the call ends, however it ends,
// so that nothing it printed waits in a pipe or log buffer.
struct FlushStdoutOnExit {
  FlushStdoutOnExit() = default;
  FlushStdoutOnExit(const FlushStdoutOnExit &) = delete;
  FlushStdoutOnExit &operator=(const FlushStdoutOnExit &) = delete;
  ~FlushStdoutOnExit() { std::fflush(stdout); }
};

struct Bytes {
  const char *data;
  std::size_t size;
};

// The description is the text before the first NUL inside its field; a field
// without a NUL is read as exactly its own length, never past it.
template <class Node>
Bytes description(const Node &node) {
  return {node.Description, strnlen(node.Description, sizeof node.Description)};
}

// The call's device list. Entries the driver did not fill (the list could not
// be read, or had no room) read as blank entries: not open, blocked.
template <class Node>
class DeviceList {
 public:
  bool make_room(DWORD count) {
    entries_.reset(new (std::nothrow) Node[count]());
    room_ = entries_ ? count : 0;
    filled_ = 0;
    return entries_ != nullptr;
  }
  Node *data() { return entries_.get(); }
  // Takes the count the driver reports; never more than the room it was given.
  DWORD set_filled(DWORD count) {
    filled_ = count < room_ ? count : room_;
    return filled_;
  }
  const Node &entry(std::uint64_t index) const {
    return index < filled_ ? entries_[index] : blank_;
  }

 private:
  std::unique_ptr<Node[]> entries_;
  DWORD room_ = 0;
  DWORD filled_ = 0;
  Node blank_{};
};

// The selection number from the answer to the prompt: the value truncated
// toward zero to a signed 64-bit integer, of which the low 32 bits count.
// An answer without a numeric value ([] from pressing Enter, a cell, a struct,
// a function handle) selects nothing instead of raising in mxGetScalar.
inline std::uint32_t selection_number(const mxArray *answer) {
  if (answer == nullptr || mxIsEmpty(answer) ||
      !(mxIsNumeric(answer) || mxIsLogical(answer) || mxIsChar(answer))) {
    return 0;
  }
  const double value = mxGetScalar(answer);
  if (!(value >= -0x1p63 && value < 0x1p63)) return 0;  // NaN fails both
  return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
}

// Asks the user for a device number through the interpreter's "input".
// Errors and interrupts raised inside "input" propagate to the script; the
// arrays made here are destroyed on the way out.
inline std::uint32_t ask_for_device() {
  std::fflush(stdout);  // the listing must be on screen before the prompt
  MxArray prompt(
      mxCreateString("Please select device from list ('0') to quit):  "));
  mxArray *argument = prompt.get();
  mxArray *result = nullptr;
  mexCallMATLAB(1, &result, 1, &argument, "input");
  MxArray answer(result);
  const std::uint32_t out = selection_number(answer.get());
  answer.reset();
  prompt.reset();
  return out;
}

inline mxArray *scalar_result(double value) {
  mxArray *result = mxCreateDoubleMatrix(1, 1, mxREAL);
  *mxGetPr(result) = value;
  return result;
}

inline mxArray *text_result(Bytes text) {
  MxText copy(static_cast<char *>(mxCalloc(text.size + 1, 1)));
  std::memcpy(copy.get(), text.data, text.size);
  return mxCreateString(copy.get());
}

template <class Layer>
void attach_call(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  using Node = typename Layer::Node;

  if (nrhs != 1) {
    mexErrMsgIdAndTxt("MATLAB:yprime:invalidNumInputs",
                      "One input argument required.");
  }
  if (nlhs != 3) {
    mexErrMsgIdAndTxt("MATLAB:yprime:maxlhs",
                      "Three output arguments required.");
  }
  if (!mxIsChar(prhs[0])) {
    mexErrMsgIdAndTxt("MATLAB:revord:inputNotString",
                      "Input must be a string.");
  }
  if (mxGetM(prhs[0]) != 1) {
    mexErrMsgIdAndTxt("MATLAB:revord:inputNotVector",
                      "Input must be a row vector.");
  }
  const MxText input_buf(mxArrayToString(prhs[0]));
  if (!input_buf) {
    mexErrMsgIdAndTxt("MATLAB:revord:conversionFailed",
                      "Could not convert input to string.");
  }
  // The argument is compared as a whole: it may hold NUL bytes.
  const std::size_t input_len = mxGetNumberOfElements(prhs[0]);

  const char *why = nullptr;
  const typename Layer::Api *api = Layer::api(&why);
  if (api == nullptr) mexErrMsgIdAndTxt(Layer::kUnavailableId, "%s", why);

  const FlushStdoutOnExit flush_on_exit;
  DWORD numDevs = 0;
  DeviceList<Node> devInfo;
  std::uint32_t out = 0;
  FT_HANDLE ftHandle = nullptr;
  Bytes devstring{"<none>", 6};
  bool connected = false;

  if (api->FT_CreateDeviceInfoList(&numDevs) != FT_OK) numDevs = 0;
  else {
    std::printf(Layer::kCountLine, static_cast<unsigned>(numDevs));
    if (numDevs != 0 && devInfo.make_room(numDevs)) {
      // A failed read keeps the count from FT_CreateDeviceInfoList and leaves
      // every entry blank, whatever the driver wrote into the room.
      DWORD listed = numDevs;
      if (api->FT_GetDeviceInfoList(devInfo.data(), &listed) == FT_OK) {
        numDevs = devInfo.set_filled(listed);
        for (std::uint64_t i = 1; i <= numDevs; ++i) {
          const Bytes d = description(devInfo.entry(i - 1));
          const unsigned number = static_cast<unsigned>(i);
          if (d.size == 0) {
            std::printf("\t(%u) <blocked>\n", number);
            continue;
          }
          std::printf("\t(%u) %.*s\n", number, static_cast<int>(d.size),
                      d.data);
          if (d.size == input_len &&
              std::memcmp(d.data, input_buf.get(), d.size) == 0) {
            std::puts("\t     --> Device recognized!");
            out = number;
          }
        }
      }
    }
  }

  if (out == 0) out = ask_for_device();

  if (out != 0 && out <= numDevs) {
    const Node &chosen = devInfo.entry(out - 1);
    bool closed = false;
    if (Layer::is_open(chosen)) {
      mexPrintf("Device is open.\n");
      ftHandle = chosen.ftHandle;
      mexPrintf("Closing device...\n");
      const FT_STATUS status = api->FT_Close(ftHandle);
      if (status != FT_OK) mexPrintf("\t FT_Close = %u \n", status);
      // Whatever FT_Close answered, the handle is not handed out again.
      closed = ftHandle != nullptr;
    }
    if (!Layer::open(&ftHandle, out - 1, closed)) {
      Layer::after_failed_open(ftHandle, closed);
    } else {
      std::puts("Connected!");
      DWORD word = 0;
      api->FT_GetDriverVersion(ftHandle, &word);
      Layer::print_version(word);
      devstring = description(chosen);
      Layer::after_open(ftHandle);
      connected = true;
    }
  }

  plhs[0] = scalar_result(connected ? 1.0 : 0.0);
  plhs[1] = scalar_result(
      connected ? static_cast<double>(handle_value(ftHandle)) : 0.0);
  plhs[2] = text_result(devstring);
}

}  // namespace attach
