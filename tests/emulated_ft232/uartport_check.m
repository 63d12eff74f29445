## Run inside the emulated-chip guest by ./run, after the chip is back with
## ftdi_sio: a uartport object over the libftdi layer on the QEMU FT232BM,
## against the far end on the host in command mode. Exits non-zero on any
## failure.
1;

global failures
failures = 0;
addpath (getenv ("FT232_MEX_DIR"));
addpath (getenv ("FT232_HELPER_DIR"));
name = "QEMU USB SERIAL";

## The identifier of the latest warning since lastwarn was cleared.
function id = warned ()
  [~, id] = lastwarn ();
endfunction

check (tty_becomes (true, 30), "ftdi_sio holds the chip before uartport attaches");
list = uartportlist ();
check (any (strcmp ({list.Description}, name)), "uartportlist lists the chip");

s = uartport (name);
check (s.IsOpen && strcmp (s.Description, name), "uartport attaches the chip");
check (tty_becomes (false, 10), "the tty is gone while uartport holds the chip");
s.Timeout = 10;

## 64 KiB out: the far end compares them with its own copy and answers.
out = seeded_bytes (7, 65536);
writeline (s, "far:expect 65536 7");
t0 = tic ();
n = write (s, out);
reply = readline (s);
printf ("64 KiB written and confirmed in %.2f s\n", toc (t0));
check (n == 65536 && strcmp (reply, "far:ok"),
       sprintf ("64 KiB written reach the far end intact (wrote %d, far end said '%s')",
                n, reply));

## 64 KiB in, in one read.
writeline (s, "far:send 65536 8");
t0 = tic ();
got = read (s, 65536);
printf ("64 KiB read in %.2f s\n", toc (t0));
want = seeded_bytes (8, 65536);
check (isa (got, "uint8") && isequal (got, want),
       sprintf ("read gets the far end's 64 KiB exactly (got %d bytes, %d differ)",
                numel (got), sum (got(1:min (end, 65536)) != want(1:min (numel (got), 65536)))));

## Lines the far end sends one after another: all queued before the first
## readline, so each readline leaves the rest for the next.
texts = {"first line", "a longer line, with punctuation; and: more", "", ...
         char([1:9 11:127]), "last"};
for i = 1:numel (texts)
  writeline (s, ["far:line " texts{i}]);
endfor
lines = cell (size (texts));
for i = 1:numel (texts)
  lines{i} = readline (s);
endfor
check (isequal (lines, texts), "readline gets the far end's lines one by one");

## Nothing coming: the read ends at the Timeout, empty, with the warning.
s.Timeout = 0.5;
lastwarn ("", "");
t0 = tic ();
data = read (s, 10);
took = toc (t0);
id = warned ();
printf ("idle read of 10 bytes returned after %.3f s (Timeout 0.5 s)\n", took);
check (isempty (data) && strcmp (id, "uartport:timeout") && took >= 0.45 && took < 3,
       sprintf ("an idle read returns empty after the Timeout with uartport:timeout (%.3f s, '%s')",
                took, id));
lastwarn ("", "");
t0 = tic ();
data = readline (s);
took = toc (t0);
id = warned ();
check (isempty (data) && strcmp (id, "uartport:timeout") && took >= 0.45 && took < 3,
       sprintf ("an idle readline does too (%.3f s)", took));

## flush input drops what came and was not read; nothing of it comes later.
writeline (s, "far:send 100 9");
for i = 1:100
  if (s.NumBytesAvailable >= 100)
    break;
  endif
  pause (0.05);
endfor
queued = s.NumBytesAvailable;
flush (s, "input");
after = s.NumBytesAvailable;
check (queued == 100 && after == 0,
       sprintf ("flush(s, \"input\") drops the 100 bytes queued (%d, then %d)", queued, after));
lastwarn ("", "");
data = read (s, 1);
id = warned ();
check (isempty (data) && strcmp (id, "uartport:timeout"), "nothing flushed arrives later");
flush (s, "output");
flush (s);

## A new rate: QEMU's trace shows the chip took it (57600 is 3 MHz / 52 =
## 57692 on a BM, a rate no other check sets); the line still carries data.
s.BaudRate = 57600;
s.Timeout = 5;
writeline (s, "far:line at 57600");
check (s.BaudRate == 57600 && strcmp (readline (s), "at 57600"),
       "BaudRate 57600 is set and the line still carries data");

delete (s);
check (! s.IsOpen, "delete closes the object");
check (tty_becomes (true, 30), "delete gives /dev/ttyUSB0 back to ftdi_sio");

exit (failures != 0);
