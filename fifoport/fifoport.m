classdef fifoport < ftdiport
  % FIFOPORT  (being written)
  methods
    function f = fifoport(varargin)
      f@ftdiport('fifo', varargin);
    end
  end
end
