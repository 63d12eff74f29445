function list = uartportlist()
  % UARTPORTLIST  The USB-serial bridges the D2XX driver lists.
  %   LIST = uartportlist() returns one struct per listed entry, with the
  %   fields Description and SerialNumber (text), Type, ID and LocId
  %   (numbers) and IsOpen (true when the driver lists it opened, by this
  %   or another process). An entry without a description is one that
  %   another program or the kernel's serial driver holds. With no entry,
  %   LIST is a 0x0 struct with those fields. It prints nothing, asks
  %   nothing and opens nothing.
  %
  %   Example:
  %     list = uartportlist();
  %     {list.Description}
  %
  %   See also uartport, fifoportlist.
  list = ftdiport_io('list', 'uart');
end
