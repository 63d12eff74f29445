## -*- texinfo -*-
## @deftypefn {} {@var{result} =} ftdisim (@var{driver}, @var{command}, @dots{})
## Script the simulated FTDI driver libraries that stand in for D2XX
## (@var{driver} @qcode{'d2xx'}, used by uartattach) and D3XX (@qcode{'d3xx'},
## used by fifoattach) when no vendor driver is installed.  Their state lives
## for the Octave session.
##
## @table @code
## @item ftdisim (drv, 'reset')
## Forget every device, failure, handle, log line and setting.
## @item n = ftdisim (drv, 'add', desc)
## @itemx n = ftdisim (drv, 'add', struct (...))
## Add a device; returns its number in the list.  Struct fields (all optional):
## @code{Description}, @code{SerialNumber} (text or uint8 bytes; up to the
## field's size: 64/16 bytes in D2XX, 32/16 in D3XX; a full field has no NUL),
## @code{Flags} (listed as given; without it the opened bit follows the
## device's state), @code{Type}, @code{ID}, @code{LocId}, and @code{Held}
## (true: held by another process or the kernel's serial driver: listed with
## only the opened flag and empty strings, and opening it fails with 3).
## @item ftdisim (drv, 'remove', n)
## Unplug device @var{n}; a handle open on it stays open.
## @item ftdisim (drv, 'fail', fn, status)
## @itemx ftdisim (drv, 'fail', fn, status, nth)
## Make driver function @var{fn} answer @var{status} on every call (status 0
## clears it), or only on its @var{nth} call since the last reset.
## @item names = ftdisim (drv, 'functions')
## The driver functions the library simulates.
## @item ftdisim (drv, 'version', word)
## The driver version word.
## @item ftdisim (drv, 'handles', values)
## Handle values the next opens hand out, in order (uint64 keeps values at or
## above 2^53 exact); then it counts on from 0x1000.
## @item ftdisim (drv, 'listcount', n)
## The count FT_GetDeviceInfoList reports whatever it lists (-1: the truth).
## @item ftdisim (drv, 'scribble', true)
## A failing FT_GetDeviceInfoList fills the room it was given with garbage.
## @item cfg = ftdisim ('d3xx', 'config')
## @itemx cfg = ftdisim ('d3xx', 'config', struct (...))
## The chip configuration record FT_GetChipConfiguration returns; given fields
## replace the current ones.
## @item log = ftdisim (drv, 'log')
## Every driver call since the last reset or 'clearlog', as
## @qcode{"FT_Open(0)=0"}: function, arguments (handles in hex), status.
## @item bad = ftdisim (drv, 'misuse')
## The calls that passed a handle which had been closed already.
## @item h = ftdisim (drv, 'open')
## The handles open in the driver, as uint64.
## @item ftdisim (drv, 'clearlog')
## Empty the call log.
## @end table
##
## Example:
## @example
## ftdisim ('d2xx', 'reset');
## ftdisim ('d2xx', 'add', 'My Device');
## [ok, h, desc] = uartattach ('My Device')
## @end example
## @seealso{uartattach, fifoattach}
## @end deftypefn
