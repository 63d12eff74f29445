## ok = tty_becomes (present, seconds): waits up to SECONDS for /dev/ttyUSB0
## to appear (PRESENT true) or vanish: the kernel binds and unbinds ftdi_sio
## asynchronously to the calls that trigger it.
function ok = tty_becomes (present, seconds)
  for i = 1:(seconds * 10)
    [~, err] = stat ("/dev/ttyUSB0");
    if ((err == 0) == present)
      ok = true;
      return;
    endif
    pause (0.1);
  endfor
  ok = false;
endfunction
