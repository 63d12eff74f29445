function [type, width] = random_datatype ()
  ## One of the objects' datatypes at random, and its bytes per value.
  types = {'uint8', 'int8', 'uint16', 'int16', 'uint32', 'int32', 'uint64', 'int64', ...
           'single', 'double', 'char', 'string'};
  widths = [1 1 2 2 4 4 8 8 4 8 1 1];
  k = randi (numel (types));
  type = types{k};
  width = widths(k);
endfunction
