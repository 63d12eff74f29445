function v = env_number (name, default)
  ## The number in environment variable NAME, else DEFAULT.
  v = str2double (getenv (name));
  if (isnan (v))
    v = default;
  endif
endfunction
