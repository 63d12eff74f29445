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
## @end table
##
## The D3XX far end: each simulated FT60x has a FIFO far end (the FPGA behind
## it), kept per device across opens and closes and forgotten by 'reset'.
## @var{n} is the device's number in the table, as 'add' returns it; @var{c}
## an optional channel, 1 to 4 (default 1), whose pipes are OUT 0x01+@var{c}
## and IN 0x81+@var{c}.  Which pipes exist follows the configuration's
## @code{ChannelConfig}: 0 four channels, 1 two, 2 one, 3 one channel with
## its OUT pipe only, 4 one channel with its IN pipe only (other values: no
## pipes).  FT_ReadPipe and FT_WritePipe accept 1 to 16 MiB per call; their
## timeout 0 means the pipe's own (FT_SetPipeTimeout, 5000 ms at each
## FT_Create, 0 for none).  A transfer that cannot complete in time ends at
## its timeout with what it moved, answering FT_TIMEOUT (19) or FT_OK with
## fewer bytes (see 'timeouts').  After an FT_TIMEOUT (an injected one too) the
## pipe is stuck until FT_AbortPipe: a transfer on it waits its whole timeout,
## moves nothing, answers 19 and is recorded as misuse.  FT_Create starts every
## pipe of the device afresh (timeout 5000 ms, not stuck).  FT_FlushPipe drops
## the loopback queue of an IN pipe; FT_AbortPipe drops nothing.  A pipe
## function on a handle whose device was removed answers 30; an injected
## status moves nothing.
##
## @table @code
## @item ftdisim ('d3xx', 'source', n, 'counter')
## @itemx ftdisim ('d3xx', 'source', n, 'counter', c)
## The IN pipe sends a 32-bit little-endian counter from 0, continuous across
## reads (a read of 3 bytes takes bytes 0-2, the next one goes on at byte 3).
## @item ftdisim ('d3xx', 'source', n, 'pattern', bytes)
## @itemx ftdisim ('d3xx', 'source', n, 'pattern', bytes, c)
## The IN pipe sends @var{bytes} (uint8 or text, at least one) over and over,
## each read going on where the last one ended.
## @item ftdisim ('d3xx', 'source', n, 'bytes', bytes)
## @itemx ftdisim ('d3xx', 'source', n, 'bytes', bytes, c)
## The IN pipe sends @var{bytes} once, then nothing more.
## @item ftdisim ('d3xx', 'source', n, 'none')
## @itemx ftdisim ('d3xx', 'source', n, 'none', c)
## The IN pipe sends nothing: reads time out.  The default.
## @item ftdisim ('d3xx', 'loopback', n, tf)
## @itemx ftdisim ('d3xx', 'loopback', n, tf, c)
## True: what the channel's OUT pipe receives queues, in order, for its IN
## pipe, which sends nothing else (a read of more than is queued times out);
## the sink still counts it.  False: the IN pipe sends nothing.  A 'source'
## ends the loopback.
## @item s = ftdisim ('d3xx', 'sink', n)
## @itemx s = ftdisim ('d3xx', 'sink', n, c)
## What the OUT pipe received: @code{Count} (bytes), @code{Checksum} (their
## Adler-32, as a double) and @code{Last} (the last up to 4096 bytes, a uint8
## row).
## @item ftdisim ('d3xx', 'rate', n, bytes_per_s)
## Each transfer on the device moves at most @var{bytes_per_s} times the time
## since it began, in either direction, sleeping up to its timeout (0:
## unlimited, the default).
## @item ftdisim ('d3xx', 'timeouts', n, 'status')
## @itemx ftdisim ('d3xx', 'timeouts', n, 'short')
## How a transfer ending at its timeout answers: FT_TIMEOUT (19; the default)
## or FT_OK with fewer bytes moved (the pipe does not get stuck).
## @item ftdisim ('d3xx', 'unplug', n, after_bytes)
## Unplug the device once @var{after_bytes} more bytes moved on it (0: now).
## The transfer crossing that point moves up to it and answers
## FT_DEVICE_NOT_CONNECTED (30) (one ending exactly there answers 0); the
## device leaves the table, as with 'remove'.
## @item p = ftdisim ('d3xx', 'pipes', n)
## One struct per pipe of the configuration, lowest ID first (OUT, then IN):
## @code{Pipe} (ID), @code{Timeout} (ms), @code{Stuck} (logical),
## @code{Queued} (bytes in its loopback queue), @code{Moved} (bytes moved
## since the last reset).
## @end table
##
## @table @code
## @item log = ftdisim (drv, 'log')
## Every driver call since the last reset or 'clearlog', as
## @qcode{"FT_Open(0)=0"}: function, arguments (handles in hex), status.  The
## D3XX pipe functions log pipe IDs as two hex digits, then count and timeout
## in decimal: @qcode{"FT_ReadPipe(0x1000,0x82,1048576,5000)=0"},
## @qcode{"FT_WritePipe(0x1000,0x02,16,0)=19"},
## @qcode{"FT_SetPipeTimeout(0x1000,0x82,100)=0"},
## @qcode{"FT_AbortPipe(0x1000,0x82)=0"}, @qcode{"FT_FlushPipe(0x1000,0x82)=0"}.
## A call recorded as misuse for a reason has it after the status:
## @qcode{"FT_Read(0x1000,5)=0 waits forever"},
## @qcode{"FT_ReadPipe(0x1000,0x83,16,100)=6 no such pipe"}.
## @item bad = ftdisim (drv, 'misuse')
## The calls that passed a handle which had been closed already, and those
## recorded as misuse for a reason.  D2XX: @qcode{waits forever} (a read or
## write without a timeout that could never finish; the simulator returns at
## once with what it could move).  D3XX pipe functions: @qcode{no such pipe},
## @qcode{not an IN pipe}, @qcode{not an OUT pipe},
## @qcode{count not in 1..16777216}, @qcode{null buffer}, @qcode{null moved}
## (each answered with 6), @qcode{pipe 0x82 not aborted after a timeout}, and
## @qcode{would wait forever} (a transfer without any timeout that nothing
## could complete: it ends at once as a timeout would).
## @item h = ftdisim (drv, 'open')
## The handles open in the driver, as uint64.
## @item ftdisim (drv, 'clearlog')
## Empty the call log.
## @end table
##
## Each D2XX device has a line to a far end that scripts play, kept while the
## device is in the table (closing and opening it again keeps it; 'reset'
## forgets it).  @var{n} is the device's number, as 'add' returns it.  Time is
## real: FT_Read sleeps until its bytes have arrived or its timeout (from
## FT_SetTimeouts; 0 means none) runs out, then answers 0 with what arrived.
## FT_Write puts the bytes out on the line; the device's transmit buffer holds
## 512 bytes, and with RTS/CTS (or DTR/DSR) flow control and the far end's
## ClearToSend (or DataSetReady) low nothing leaves it, so a larger write
## runs into its timeout and answers 0 with fewer bytes written.  A device
## removed while open answers 4 on that handle to FT_SetBaudRate,
## FT_SetDataCharacteristics and the data and line functions.  A device
## starts at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control,
## DTR and RTS off, no timeouts, with ClearToSend and DataSetReady high.
##
## @table @code
## @item ftdisim ('d2xx', 'rx', n, bytes)
## @itemx ftdisim ('d2xx', 'rx', n, bytes, delay)
## The far end sends @var{bytes} (uint8 or text): they arrive now, or after
## @var{delay} seconds.  With pacing on they arrive one byte time apart.
## Bytes arrive in the order they were sent, after those sent before them.
## @item t = ftdisim ('d2xx', 'tx', n)
## The bytes that went out on the line since the last 'tx', as a uint8 row.
## @item ftdisim ('d2xx', 'loopback', n, tf)
## Bytes going out on the line also arrive on the device's own receive side,
## as they go out, behind bytes already on their way there.
## @item ftdisim ('d2xx', 'pacing', n, tf)
## Bytes take their time on the line: 1 start bit, the data bits, a parity
## bit unless there is none, and the stop bits (10 bits at 8N1), at the baud
## rate set.  Received bytes arrive paced; the transmit buffer drains paced,
## so FT_Write of more than it holds blocks until the rest fits.  Without
## pacing, bytes arrive and leave at once.
## @item p = ftdisim ('d2xx', 'pins', n)
## @itemx p = ftdisim ('d2xx', 'pins', n, struct (...))
## The pins the far end drives, as logical fields @code{ClearToSend},
## @code{DataSetReady}, @code{CarrierDetect} and @code{RingIndicator}; given
## fields set those pins first.  FT_GetModemStatus reports them as 0x10,
## 0x20, 0x80 and 0x40.
## @item l = ftdisim ('d2xx', 'line', n)
## What the host set and what is queued: @code{BaudRate}, @code{DataBits},
## @code{StopBits} (1 or 2), @code{Parity} (0 none, 1 odd, 2 even, 3 mark,
## 4 space), @code{FlowControl} (the mode passed to FT_SetFlowControl),
## @code{Xon}, @code{Xoff}, @code{DTR}, @code{RTS} (logical),
## @code{ReadTimeout}, @code{WriteTimeout} (ms), @code{Queued} (bytes arrived
## and not read), @code{Pending} (bytes to arrive later), @code{Sending}
## (bytes in the transmit buffer), @code{RxPurges} and @code{TxPurges} (calls
## of FT_Purge that purged each side).
## @end table
##
## Example:
## @example
## ftdisim ('d2xx', 'reset');
## ftdisim ('d2xx', 'add', 'My Device');
## [ok, h, desc] = uartattach ('My Device')
## ftdisim ('d2xx', 'rx', 1, "OK\r\n", 0.1);  % the device answers in 0.1 s
## @end example
## @seealso{uartattach, fifoattach}
## @end deftypefn
