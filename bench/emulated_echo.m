## Run inside the emulated-chip guest by tests/emulated_ft232/run --bench,
## with the far end on the host echoing every byte: instrument-control's
## serialport on /dev/ttyUSB0 (the kernel's ftdi_sio) against uartport over
## the libftdi layer, on the same chip in the same boot. The stacks take
## turns, round by round, so a slow spell of the emulation hits both alike.
## Each round: ROUND_TRIPS round trips of 1 byte (write 1 byte, read it
## back), ROUND_TRIPS/4 writes of 1 byte alone, then ECHOES echoes of 64 KiB
## (write 64 KiB, read them back); after each Octave stack, echo_native does
## the same on that stack from native code ("tty", "layer"). Writes one line
## per measurement to the file BENCH_OUT:
##   <stack> <round> rt|write1|echo <seconds>
## and "<stack> latency <ms>" once per Octave stack. Exits non-zero if a byte came
## back wrong or a stack could not be opened: a wrong echo is no figure.
1;

addpath (getenv ("FT232_MEX_DIR"));
## tty_becomes, shared with the emulated test's guest checks.
addpath (fullfile (fileparts (mfilename ("fullpath")), "..", "tests", "emulated_ft232"));
pkg load instrument-control

rounds = str2double (getenv ("BENCH_ROUNDS"));
round_trips = str2double (getenv ("BENCH_ROUND_TRIPS"));
echoes = str2double (getenv ("BENCH_ECHOES"));
out = fopen (getenv ("BENCH_OUT"), "w");
payload = uint8 (mod ((0:65535) * 7 + floor ((0:65535) / 256), 256));

function bad (what)
  fprintf (stderr, "emulated_echo: %s\n", what);
  exit (1);
endfunction

## Both stacks' objects answer write(s, data) and read(s, n) alike.
function measure (s, stack, round, round_trips, echoes, payload, out)
  for i = 1:5  # warm-up, untimed
    write (s, uint8 (i));
    read (s, 1);
  endfor
  for i = 1:round_trips
    b = uint8 (mod (i, 256));
    t0 = tic ();
    write (s, b);
    r = read (s, 1);
    t = toc (t0);
    if (! isequal (double (r), double (b)))
      bad (sprintf ("%s: round trip %d came back as [%s]", stack, i, num2str (r)));
    endif
    fprintf (out, "%s %d rt %.9f\n", stack, round, t);
  endfor
  for i = 1:floor (round_trips / 4)  # a write alone, its byte read untimed
    t0 = tic ();
    write (s, uint8 (i));
    t = toc (t0);
    read (s, 1);
    fprintf (out, "%s %d write1 %.9f\n", stack, round, t);
  endfor
  for i = 1:echoes
    t0 = tic ();
    write (s, payload);
    r = read (s, numel (payload));
    t = toc (t0);
    if (! isequal (double (r(:)'), double (payload)))
      bad (sprintf ("%s: echo %d came back with %d bytes, not the 64 KiB sent",
                    stack, i, numel (r)));
    endif
    fprintf (out, "%s %d echo %.9f\n", stack, round, t);
  endfor
  fflush (out);
endfunction

## uartport's gateway called as its methods call it, without the classdef
## method around it: what the class itself costs per call.
function measure_gateway (s, round, round_trips, out)
  w = warning ("off", "all");
  port = struct (s).Port;
  warning (w);
  for i = 1:round_trips
    b = uint8 (mod (i, 256));
    t0 = tic ();
    ftdiport_io ("write", port, b);
    r = ftdiport_io ("read", port, 1);
    t = toc (t0);
    if (! isequal (r, b))
      bad (sprintf ("gateway: round trip %d came back as [%s]", i, num2str (r)));
    endif
    fprintf (out, "gateway %d rt %.9f\n", round, t);
  endfor
  for i = 1:floor (round_trips / 4)
    t0 = tic ();
    ftdiport_io ("write", port, uint8 (i));
    t = toc (t0);
    ftdiport_io ("read", port, 1);
    fprintf (out, "gateway %d write1 %.9f\n", round, t);
  endfor
  fflush (out);
endfunction

## The same from native code (echo_native), under Octave's figures.
function native (stack, round, round_trips, echoes, out)
  [status, text] = system (sprintf ("%s/echo_native %s %d %d %d", getenv ("FT232_HELPER_DIR"),
                                    stack, round, round_trips, echoes));
  if (status != 0)
    bad (sprintf ("echo_native %s failed: %s", stack, text));
  endif
  fputs (out, text);
  fflush (out);
endfunction

for round = 1:rounds
  ## The kernel's stack, its latency timer as ftdi_sio left it.
  if (! tty_becomes (true, 30))
    bad ("/dev/ttyUSB0 did not appear");
  endif
  s = serialport ("/dev/ttyUSB0", "BaudRate", 230400, "Timeout", 10);
  flush (s);
  if (round == 1)
    latency = strtrim (fileread ("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"));
    fprintf (out, "serialport latency %s\n", latency);
  endif
  measure (s, "serialport", round, round_trips, echoes, payload, out);
  clear s
  native ("tty /dev/ttyUSB0", round, round_trips, echoes, out);

  ## uartport over the layer, latency 2 ms as uartattach sets it.
  s = uartport ("QEMU USB SERIAL", "Timeout", 10);
  if (round == 1)
    fprintf (out, "uartport latency 2\n");
  endif
  measure (s, "uartport", round, round_trips, echoes, payload, out);
  measure_gateway (s, round, round_trips, out);
  delete (s);
  clear s
  if (! tty_becomes (true, 30))
    bad ("/dev/ttyUSB0 did not come back after uartport");
  endif
  native (["layer " getenv("FT232_MEX_DIR") "/libd2xx_libftdi.so"], round,
          round_trips, echoes, out);
endfor
fclose (out);
