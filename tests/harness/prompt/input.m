function answer = input (prompt, varargin)
  ## Test stand-in for the builtin "input": answers the prompt from the list
  ## the test scripted, and records the prompt and how many bytes of standard
  ## output were still unflushed when it was shown.  A scripted answer
  ## {'__raise__', id, message} makes it raise that error instead.
  global PROMPT
  PROMPT.prompts{end+1} = prompt;
  PROMPT.pending(end+1) = transcript ('pending');
  if (isempty (PROMPT.answers))
    error ('test:noAnswer', 'the test scripted no answer for this prompt');
  endif
  answer = PROMPT.answers{1};
  PROMPT.answers(1) = [];
  if (iscell (answer) && numel (answer) == 3 && isequal (answer{1}, '__raise__'))
    error (answer{2}, '%s', answer{3});
  endif
endfunction
