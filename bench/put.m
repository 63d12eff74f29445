function put(val, name, value)
  % A "name value" line of the figures the goals are checked against.
  fprintf(val, '%s %.6g\n', name, value);
end
