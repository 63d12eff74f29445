function post_install (desc)
  ## Says which driver library each module binds: the choice was made while
  ## the modules were built, where pkg shows no output unless asked to.
  report = fullfile ('src', 'build', 'drivers.txt');
  text = fileread (report);
  printf ('%s', text);
  printf (['%s %s: ftdiattach_drivers () lists this choice; ', ...
           'ftdiattach_selftest () checks the installation.\n'], ...
          desc.name, desc.version);
endfunction
