## -*- texinfo -*-
## @deftypefn {} {[@var{ok}, @var{handle}, @var{desc}] =} fifoattach (@var{description})
## Attach an FTDI FT60x FIFO bridge (D3XX driver) to this Octave session.
##
## Lists the driver's devices and opens the one whose description equals
## @var{description} exactly (case-sensitive; the last one when several do).
## When none does, asks for the device's number at the prompt (0 quits).
## A device this session already holds open is closed first and opened again.
## Prints the driver version; nothing is set up on the device.
##
## Results:
## @table @var
## @item ok
## 1 when a device was attached, else 0.
## @item handle
## the open device handle as a number (0 when nothing was attached); it stays
## open after the call.
## @item desc
## the attached device's description, or @qcode{"<none>"}.
## @end table
##
## Example:
## @example
## [ok, h, desc] = fifoattach ('FTDI SuperSpeed-FIFO Bridge');
## @end example
##
## The module file also exports @code{GetConfiguration} for native code, which
## prints the chip configuration of an open device.  Without hardware, the
## simulated driver stands in for D3XX; see @code{help ftdisim}.
## @seealso{uartattach, ftdisim}
## @end deftypefn
