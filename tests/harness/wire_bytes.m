function b = wire_bytes (values, big)
  ## The bytes of VALUES on the wire, in the given byte order.
  if (ischar (values))
    b = uint8 (double (values(:)'));
    return;
  endif
  if (isempty (values))
    b = zeros (1, 0, 'uint8');
    return;
  endif
  values = values(:)';
  b = typecast (values, 'uint8');
  b = in_byte_order (b, numel (b) / numel (values), big);
endfunction
