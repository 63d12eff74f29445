## -*- texinfo -*-
## @deftypefn  {} {} ftdiattach_examples ()
## @deftypefnx {} {@var{folder} =} ftdiattach_examples ()
## The folder of the example scripts installed with the package; without an
## output, lists them with the first line of each.  Copy one to your own
## folder and adapt it:
## @example
## copyfile (fullfile (ftdiattach_examples (), 'talk_uart.m'), '.');
## edit talk_uart.m
## @end example
## Without hardware, with the modules on the simulated drivers, run
## @code{simulate_devices} (one of the examples) first.
## @seealso{uartport, fifoport, uartattach, fifoattach, ftdisim}
## @end deftypefn
function folder = ftdiattach_examples ()
  here = fullfile (fileparts (mfilename ('fullpath')), 'examples');
  if (nargout > 0)
    folder = here;
    return;
  endif
  printf ('Examples in %s:\n', here);
  for f = dir (fullfile (here, '*.m'))'
    printf ('  %-22s %s\n', f.name, summary (fullfile (here, f.name)));
  endfor
endfunction

function text = summary (file)
  ## The first sentence of the file's first comment paragraph.
  lines = strsplit (fileread (file), "\n");
  comments = regexp (lines, '^\s*[#%]+\s?(.*)$', 'tokens', 'once');
  first = find (! cellfun (@isempty, comments), 1);
  last = first;
  while (last < numel (comments) && ! isempty (comments{last+1}) ...
         && ! isempty (strtrim (comments{last+1}{1})))
    last += 1;
  endwhile
  text = strjoin (cellfun (@(c) c{1}, comments(first:last), 'uniformoutput', false), ' ');
  text = regexprep (text, '\.\s\s.*$', '.');
endfunction
