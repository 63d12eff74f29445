function hostile_input_test ()
  ## Every class of Octave value as the argument and as the answer to the
  ## prompt: each ends in one of the argument errors or in a normal result,
  ## never a crash, and leaves nothing open that it did not attach.
  modules = {'uartattach', 'fifoattach'};
  for m = 1:numel (modules)
    hostile_arguments (modules{m});
    hostile_answers (modules{m});
  endfor
endfunction

function hostile_arguments (module)
  not_string = 'MATLAB:revord:inputNotString';
  not_row = 'MATLAB:revord:inputNotVector';
  long = repmat ('x', 1, 1e6);
  ## argument, error identifier ('' for a normal result), description that
  ## matches it ('' for none: the prompt then answers 0)
  cases = {
    1, not_string, ''
    single(1), not_string, ''
    int8(1), not_string, ''
    uint8(65), not_string, ''
    int16(1), not_string, ''
    uint16(1), not_string, ''
    int32(1), not_string, ''
    uint32(1), not_string, ''
    int64(1), not_string, ''
    uint64(1), not_string, ''
    true, not_string, ''
    [], not_string, ''
    {}, not_string, ''
    {'Dev A'}, not_string, ''
    struct('Description', 'Dev A'), not_string, ''
    @sin, not_string, ''
    sparse(1), not_string, ''
    1 + 2i, not_string, ''
    '', not_row, ''
    char(zeros(0, 5)), not_row, ''
    'Dev A'.', not_row, ''
    ['Dev A'; 'Dev B'], not_row, ''
    char(zeros(1, 0)), '', ''
    char(zeros(1, 1, 0)), '', ''
    reshape('Dev AB', 1, 3, 2), '', ''
    'Dev A', '', 'Dev A'
    long, '', ''
    ["Ger" "\xC3\xA4t"], '', "Ger\xC3\xA4t"
    ['Dev A' char(0)], '', ''
    [char(0) 'Dev A'], '', ''
    char(0), '', ''
    char(255), '', ''
  };
  for k = 1:rows (cases)
    [arg, id, matches] = cases{k,:};
    label = sprintf ('%s argument %d (%s %s)', module, k, class (arg), mat2str (size (arg)));
    sim_setup (driver_of (module), {'Dev A', "Ger\xC3\xA4t"});
    r = attach_run (module, {arg}, {0});
    if (! isempty (id))
      expect ([label ': error'], r.err.identifier, id);
      expect ([label ': no driver call'], r.log, cell (0, 1));
    else
      check_invariants (label, module, r, matches);
      expect ([label ': attached'], r.ok, double (! isempty (matches)));
      expect ([label ': prompted'], numel (r.prompts), double (isempty (matches)));
    endif
  endfor
endfunction

function hostile_answers (module)
  ## answer, selection number (0: none)
  cases = {
    NaN, 0
    Inf, 0
    -Inf, 0
    2^63, 0
    -2^63, 0
    2^64, 0
    -2^63 - 2^12, 0
    2^63 - 2^10, 0
    intmax('int64'), 0
    intmin('int64'), 0
    intmax('uint64'), 0
    -1, 0
    -0.5, 0
    0.999, 0
    1.999, 1
    2^32 + 2, 2
    -(2^32 - 1), 1
    'abc', 0
    char(1), 1
    char(zeros(1, 0)), 0
    [], 0
    {}, 0
    {1}, 0
    struct(), 0
    @() 1, 0
    sparse(2), 2
    2 + 3i, 2
    single(NaN), 0
    true, 1
    false, 0
    uint8(2), 2
    [2; 1], 2
  };
  names = {'Dev A', 'Dev B'};
  for k = 1:rows (cases)
    [answer, number] = cases{k,:};
    label = sprintf ('%s answer %d (%s)', module, k, class (answer));
    sim_setup (driver_of (module), names);
    r = attach_run (module, {'no match'}, {answer});
    desc = '';
    if (number > 0)
      desc = names{number};
    endif
    check_invariants (label, module, r, desc);
    expect ([label ': attached'], r.ok, double (number > 0));
  endfor

  ## "input" raising ends the call with that error and opens nothing.
  sim_setup (driver_of (module), names);
  r = attach_run (module, {'no match'}, {{'__raise__', 'Octave:some-id', 'parse error'}});
  expect ([module ' input raises: identifier'], r.err.identifier, 'Octave:some-id');
  expect ([module ' input raises: nothing open'], numel (ftdisim (driver_of (module), 'open')), 0);
endfunction
