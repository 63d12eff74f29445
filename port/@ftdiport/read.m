% READ  Read data, as a row of values.
%   DATA = read(OBJ, COUNT) reads COUNT uint8 values.
%   DATA = read(OBJ, COUNT, DATATYPE) reads COUNT values of DATATYPE
%   (see write), returned as that class (char for char and string).
%   It waits up to the Timeout; when that runs out, DATA holds the whole
%   values that arrived, with the warning <class>:timeout, and the
%   bytes of an incomplete value wait for the next read.
