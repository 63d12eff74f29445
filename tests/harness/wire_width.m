function w = wire_width (type)
  ## Bytes per value of a datatype on the wire.
  switch (type)
    case {'uint8', 'int8', 'char', 'string'}
      w = 1;
    case {'uint16', 'int16'}
      w = 2;
    case {'uint32', 'int32', 'single'}
      w = 4;
    otherwise
      w = 8;
  endswitch
endfunction
