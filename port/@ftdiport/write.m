% WRITE  Write data; returns the number of bytes written.
%   N = write(OBJ, DATA) writes DATA as uint8 values, column by column.
%   N = write(OBJ, DATA, DATATYPE) writes them as DATATYPE: uint8, int8,
%   uint16, int16, uint32, int32, uint64, int64, single, double, char or
%   string, multi-byte values in the object's ByteOrder. A value that
%   does not fit DATATYPE (out of range, or not whole for an integer
%   type) raises <class>:invalidValue and nothing is written. When the
%   Timeout runs out first, N is what was written, with the warning
%   <class>:timeout.
