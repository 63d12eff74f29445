function ok = check_invariants (label, module, r, desc_if_attached)
  ## Checks what must hold after any attach call that did not raise: three
  ## results, [1, h, desc] only with h open in the driver and desc the listed
  ## description (DESC_IF_ATTACHED), else exactly [0, 0, "<none>"]; at most
  ## one handle opened; no closed handle passed to the driver again; the
  ## driver calls in the order the flow makes them.  Returns whether all held.
  drv = driver_of (module);
  problems = {};
  if (! isempty (r.err))
    problems{end+1} = sprintf ('raised %s: %s', r.err.identifier, r.err.message);
  else
    if (isequal (r.ok, 1))
      open = ftdisim (drv, 'open');
      if (! any (double (open) == r.h) || ! isequal (r.d, desc_if_attached))
        problems{end+1} = sprintf ('attached with h=%g desc="%s", open: %s', r.h, r.d, mat2str (double (open')));
      endif
    elseif (! isequal ({r.ok, r.h, r.d}, {0, 0, '<none>'}))
      problems{end+1} = 'results are neither attached nor [0, 0, "<none>"]';
    endif
    names = regexprep (r.log', '\(.*$', '');
    opens = regexp (r.log', '^FT_(Open|Create)\(.*\)=0$', 'match', 'once');
    if (sum (! cellfun (@isempty, opens)) > 1)
      problems{end+1} = 'more than one handle opened';
    endif
    if (isequal (r.ok, 1) != (sum (! cellfun (@isempty, opens)) == 1))
      problems{end+1} = 'the result does not agree with the open';
    endif
    if (isempty (regexp (strjoin (names, ' '), call_order (module), 'once')))
      problems{end+1} = ['driver calls out of order: ' strjoin(names, ' ')];
    endif
  endif
  if (! isempty (r.misuse))
    problems{end+1} = ['closed handle passed again: ' strjoin(r.misuse', ', ')];
  endif
  ok = isempty (problems);
  expect ([label ': invariants'], problems, {});
endfunction

function pattern = call_order (module)
  if (strcmp (module, 'uartattach'))
    attached = [' FT_Open FT_GetDriverVersion FT_SetLatencyTimer FT_GetLatencyTimer' ...
                ' FT_ResetDevice FT_SetBaudRate FT_SetDataCharacteristics'];
    failed = ' FT_Open( FT_ResetDevice FT_CyclePort FT_Close FT_ResetPort)?';
  else
    attached = ' FT_Create FT_GetDriverVersion';
    failed = ' FT_Create( FT_Close)?';
  endif
  pattern = ['^FT_CreateDeviceInfoList( FT_GetDeviceInfoList)?( FT_Close)?(' ...
             attached '|' failed ')?$'];
endfunction
