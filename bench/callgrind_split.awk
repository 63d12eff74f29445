# Reads callgrind profiles (events: Ir, positions: line, callgrind's default
# output) and prints, per dump, the self cost of every function and the
# inclusive cost of the calls between objects:
#   <label> TAB self TAB <object> TAB <function> TAB <Ir>
#   <label> TAB call TAB <caller object> TAB <callee object> TAB <Ir>
# <label> is the client-request trigger of the dump ("what/entries/calls"),
# or "-" for dumps made otherwise. A calls= line is followed by the inclusive
# cost of that call, which is not the caller's self cost.
function name_of(kind, text,    id, rest) {
  # "(12) name" defines id 12, "(12)" refers to it, a bare name is itself.
  if (text ~ /^\([0-9]+\)/) {
    id = substr(text, 2, index(text, ")") - 2)
    rest = substr(text, index(text, ")") + 1)
    sub(/^ /, "", rest)
    if (rest != "") names[kind, id] = rest
    return names[kind, id]
  }
  return text
}
function emit(    k) {
  for (k in self) if (self[k] != 0) print label "\tself\t" k "\t" self[k]
  for (k in calls) if (calls[k] != 0) print label "\tcall\t" k "\t" calls[k]
  split("", self)
  split("", calls)
}
FNR == 1 {
  emit()
  split("", names)
  label = "-"; ob = "???"; fn = "???"; cob = ""; in_call = 0
}
/^desc: Trigger: Client Request: / {
  label = $0
  sub(/^desc: Trigger: Client Request: /, "", label)
  next
}
/^ob=/ { ob = name_of("ob", substr($0, 4)); next }
/^cob=/ { cob = name_of("ob", substr($0, 5)); next }
/^fn=/ { fn = name_of("fn", substr($0, 4)); cob = ""; next }
/^cfn=/ { name_of("fn", substr($0, 5)); next }
/^calls=/ { in_call = 1; next }
/^[0-9+*-]/ {
  if (in_call) {
    calls[ob "\t" (cob != "" ? cob : ob)] += $2
    in_call = 0
    cob = ""
  } else {
    self[ob "\t" fn] += $2
  }
  next
}
END { emit() }
