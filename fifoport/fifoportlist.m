function list = fifoportlist()
  % FIFOPORTLIST  The FT60x FIFO bridges the D3XX driver lists.
  %   LIST = fifoportlist() returns one struct per listed entry, with the
  %   fields Description and SerialNumber (text), Type (600 for FT600, 601
  %   for FT601), ID and LocId (numbers) and IsOpen (true when the driver
  %   lists it opened, by this or another process). With no entry, LIST is
  %   a 0x0 struct with those fields. It prints nothing, asks nothing and
  %   opens nothing.
  %
  %   See also fifoport, uartportlist.
  list = ftdiport_io('list', 'fifo');
end
