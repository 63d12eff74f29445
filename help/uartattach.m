## -*- texinfo -*-
## @deftypefn {} {[@var{ok}, @var{handle}, @var{desc}] =} uartattach (@var{description})
## Attach an FTDI USB-serial bridge (D2XX driver) to this Octave session.
##
## Lists the driver's devices and opens the one whose description equals
## @var{description} exactly (case-sensitive; the last one when several do).
## When none does, asks for the device's number at the prompt (0 quits).
## A device this session already holds open is closed first and opened again.
## After the open the serial line is set up: latency timer 2 ms, device reset,
## 230400 baud, 8 data bits, 1 stop bit, no parity.
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
## [ok, h, desc] = uartattach ('FT232R USB UART');
## if (! ok)
##   error ('no serial bridge attached');
## endif
## @end example
##
## Without hardware, the simulated driver stands in for D2XX; see
## @code{help ftdisim}.
## @seealso{fifoattach, ftdisim}
## @end deftypefn
