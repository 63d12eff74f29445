## Run inside the emulated-chip guest by ./run: attaches the QEMU FT232BM
## twice through uartattach over the libftdi layer, closes it and checks that
## the kernel's tty comes and goes with it. Exits non-zero on any failure.
1;

global failures
failures = 0;
addpath (getenv ("FT232_MEX_DIR"));
addpath (getenv ("FT232_HELPER_DIR"));
name = "QEMU USB SERIAL";

## The layer's list, as another process sees it.
function out = listing (args)
  [status, out] = system (sprintf ("%s %s/libd2xx_libftdi.so %s",
                                   getenv ("FT232_LISTER"),
                                   getenv ("FT232_MEX_DIR"), args));
  printf ("%s", out);
  if (status != 0)
    out = "";
  endif
endfunction

check (tty_becomes (true, 30), "ftdi_sio holds the chip before the attach");

## Free (ftdi_sio's tty is no claim): its strings, FTDI's id, a BM by its
## bcdDevice, full speed.
free_list = listing ("");
check (! isempty (regexp (free_list, ["\\n0 flags=0x0 type=0 id=0x04036001 " ...
       "locid=0x[0-9a-f]{8} serial='[^']+' description='QEMU USB SERIAL' " ...
       "handle=null\\n"], "once")), "listed free, a BM, with its strings");

[ok, h, d] = uartattach (name);
check (isequal (ok, 1) && h != 0 && strcmp (d, name),
       sprintf ("first attach gives [1, h, '%s'] (got [%d, %d, '%s'])",
                name, ok, h, d));
check (tty_becomes (false, 10), "the tty is gone while the chip is attached");

## Held by this Octave: another process sees it opened, without strings,
## and cannot open it.
busy_list = listing ("--open");
check (! isempty (regexp (busy_list, ["\\n0 flags=0x1 type=0 id=0x04036001 " ...
       "locid=0x[0-9a-f]{8} serial='' description='' handle=null\\n" ...
       "FT_Open=3\\n"], "once")),
       "another process lists it opened without strings and cannot open it");

## Listed as held by this process: closed and opened again, a new handle.
[ok2, h2, d2] = uartattach (name);
check (isequal (ok2, 1) && h2 != 0 && h2 != h && strcmp (d2, name),
       sprintf ("second attach reopens (got [%d, %d, '%s'])", ok2, h2, d2));

module = which ("uartattach");
check (ft232_close (module, h) == 1, "the first, closed handle is refused");
check (ft232_close (module, h2) == 0, "closing the attached handle succeeds");
check (ft232_close (module, h2) == 1, "closing it twice is refused");
check (tty_becomes (true, 30), "the tty is back after the close");

## Each handle function once on the real chip, from a process of its own:
## refusals map to D2XX statuses, FT_CyclePort has no equivalent, the rest
## work, and a closed handle is refused.
want = {"FT_Open=0", "FT_SetLatencyTimer(0)=6", "FT_SetBaudRate(1)=7", ...
        "FT_SetDataCharacteristics(6,0,0)=6", "FT_GetLatencyTimer(null)=6", ...
        "FT_GetDriverVersion(null)=6", "FT_CyclePort=17", "FT_ResetPort=0", ...
        "FT_ResetDevice=0", "FT_SetLatencyTimer(16)=0", ...
        "FT_GetLatencyTimer=0", "FT_SetBaudRate(115200)=0", ...
        "FT_SetDataCharacteristics(7,2,2)=0", "FT_GetDriverVersion=0", ...
        "FT_Close=0", "FT_Close(again)=1"};
lines = strsplit (strtrim (listing ("--open")), "\n");
got = lines(find (strncmp (lines, "FT_Open=", 8), 1):end);
check (numel (got) == numel (want) + 1 && isequal (got(1:end-1), want),
       "each handle function answers as expected on the chip");
check (! isempty (regexp (got{end}, "^latency=16 version=0x00[0-9]{6}$")),
       sprintf ("the latency reads back, the version is BCD (%s)", got{end}));
check (tty_becomes (true, 30), "the tty is back after that close too");

## A process that exits holding the chip gives it back to the kernel too.
held = listing ("--open-and-exit");
check (! isempty (strfind (held, "FT_Open=0")), "opened by a process that exits");
check (tty_becomes (true, 30), "the tty is back after that process exited");

exit (failures != 0);
