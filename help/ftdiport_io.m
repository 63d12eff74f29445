## -*- texinfo -*-
## @deftypefn {} {} ftdiport_io (@var{operation}, @var{object}, @dots{})
## The gateway through which @code{uartport} and @code{fifoport} objects
## reach their driver libraries.  It is not meant to be called directly: use
## the objects' methods.
## @seealso{uartport, fifoport, uartportlist, fifoportlist}
## @end deftypefn
