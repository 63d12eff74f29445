## emulated_report (FILE): prints the figures bench/emulated_echo.m wrote to
## FILE in the emulated-chip guest. Per stack: the median 1-byte round trip
## (write 1 byte, read it back) and its 90th percentile, the median 1-byte
## write alone, and the 64 KiB echo throughput (64 KiB divided by the median
## time to write them and read them back). Then the ratios uartport /
## serialport and whether uartport meets its goal: a round trip at or below
## serialport's, a throughput at or above. The native rows (echo_native) are
## the floor each Octave stack stands on: the difference is Octave's and the
## object's own cost. Under QEMU's software emulation only the ratios mean
## something: every stack ran on the same emulated chip in the same boot.
function emulated_report (file)
  stacks = {"serialport", "tty", "uartport", "gateway", "layer"};
  names = {"serialport (instrument-control on /dev/ttyUSB0)", ...
           "  native: read/write on /dev/ttyUSB0 (ftdi_sio)", ...
           "uartport (its gateway over the libftdi layer)", ...
           "  its gateway ftdiport_io, called directly", ...
           "  native: the libftdi layer's FT_Write/FT_Read"};
  fig = struct ();
  for k = stacks
    fig.(k{1}) = struct ("rt", [], "write1", [], "echo", []);
  endfor
  latency = struct ("serialport", "?", "uartport", "?");
  rounds = 0;
  for line = strsplit (strtrim (fileread (file)), "\n")
    f = strsplit (strtrim (line{1}));
    if (numel (f) == 3 && strcmp (f{2}, "latency"))
      latency.(f{1}) = f{3};
    elseif (numel (f) == 4 && isfield (fig, f{1}))
      rounds = max (rounds, str2double (f{2}));
      fig.(f{1}).(f{3})(end + 1) = str2double (f{4});
    endif
  endfor
  printf ("\nEmulated FT232BM under QEMU (software emulation): every stack on the same chip\n");
  printf ("and the same echoing far end, in one boot, taking turns over %d rounds.\n", rounds);
  printf ("Under emulation the absolute times are not a real chip's: compare the ratios.\n");
  printf ("Latency timer: serialport %s ms (as ftdi_sio left it: it keeps the chip's value,\n", latency.serialport);
  printf ("which is 0 on QEMU's chip and 16 on a real one), uartport %s ms (uartattach's).\n", latency.uartport);
  printf ("QEMU's chip does not apply the latency timer.\n\n");
  printf ("%-50s %12s %12s %12s %14s\n", "", "round trip", "round trip", "1-byte write", "64 KiB echo");
  printf ("%-50s %12s %12s %12s %14s\n", "stack", "median", "p90", "median", "throughput");
  rt = zeros (1, 5);
  tput = nan (1, 5);
  for i = 1:5
    k = fig.(stacks{i});
    if (isempty (k.rt) || isempty (k.write1))
      error ("emulated_report: no figures of %s in %s", stacks{i}, file);
    endif
    rt(i) = median (k.rt);
    echo = "";
    if (! isempty (k.echo))
      tput(i) = 65536 / median (k.echo);
      echo = sprintf ("%8.0f KiB/s", tput(i) / 1024);
    endif
    printf ("%-50s %9.3f ms %9.3f ms %9.3f ms %14s\n", names{i}, 1e3 * rt(i),
            1e3 * quantile (k.rt, 0.9), 1e3 * median (k.write1), echo);
  endfor
  n = numel (fig.uartport.rt);
  printf ("(%d round trips, %d writes and %d echoes per stack)\n\n", n,
          numel (fig.uartport.write1), numel (fig.uartport.echo));
  printf ("Above the native floor, per round trip: serialport %.3f ms; uartport %.3f ms,\n",
          1e3 * (rt(1) - rt(2)), 1e3 * (rt(3) - rt(5)));
  printf ("  of which its classdef methods %.3f ms and its gateway %.3f ms\n",
          1e3 * (rt(3) - rt(4)), 1e3 * (rt(4) - rt(5)));
  printf ("native layer / native tty: round trip %.2f, throughput %.2f\n",
          rt(5) / rt(2), tput(5) / tput(2));
  printf ("uartport / serialport:     round trip %.2f, throughput %.2f\n",
          rt(3) / rt(1), tput(3) / tput(1));
  verdict = {"NOT MET", "met"};
  printf ("goal: uartport's round trip at or below serialport's: %s\n",
          verdict{1 + (rt(3) <= rt(1))});
  printf ("goal: uartport's throughput at or above serialport's: %s\n",
          verdict{1 + (tput(3) >= tput(1))});
endfunction
