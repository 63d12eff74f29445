function [values, wire] = random_values (type, n, big)
  ## N random values of TYPE and their bytes on the wire. Floating values
  ## are never NaN: a NaN's payload need not survive a conversion.
  width = wire_width (type);
  raw = random_bytes (n * width);
  if (any (strcmp (type, {'char', 'string'})))
    values = char (raw);
  else
    values = typecast (in_byte_order (raw, width, big), type);
    if (isfloat (values))
      values(isnan (values)) = 0;
    endif
  endif
  wire = wire_bytes (values, big);
endfunction
