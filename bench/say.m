function say(out, varargin)
  % A line of a benchmark report, to the file `out`.
  fprintf(out, varargin{:});
end
