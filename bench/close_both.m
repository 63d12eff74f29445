function close_both(a, b)
  % Closes a benchmark's report and figures files (an onCleanup action).
  fclose(a);
  fclose(b);
end
