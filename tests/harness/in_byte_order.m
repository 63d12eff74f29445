function b = in_byte_order (b, width, big)
  ## Reverses each WIDTH bytes of B when BIG: the machine is little-endian.
  if (big && width > 1 && ! isempty (b))
    b = reshape (flipud (reshape (b, width, [])), 1, []);
  endif
endfunction
