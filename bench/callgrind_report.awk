# Turns the output of callgrind_split.awk into the instruction figures.
#   awk -F'\t' -v values=FILE -f callgrind_report.awk PLAN SPLIT
# PLAN lists the measured windows ("what/entries/calls", in order; "empty/0/0"
# holds only the marks and is subtracted from every other window). Costs are
# grouped by the object that runs them: the module's own code (for the
# uartport and fifoport calls, the gateway ftdiport_io), the driver hub, the simulated
# driver, Octave, the C library (with the dynamic loader and libm), the C++
# runtime, and the rest. Name value lines for the goal checks go to `values`.
function part(ob) {
  if (ob ~ /\/(uartattach|fifoattach|null_mex|null_result|ftdiport_io)\.mex$/) return "module"
  if (ob ~ /\/libftdi_hub\.so$/) return "hub"
  if (ob ~ /\/libd[23]xx_sim\.so$/) return "driver"
  if (ob ~ /liboct|\/octave/) return "octave"
  if (ob ~ /\/(libc|libm|ld-linux[^\/]*)\.so/) return "libc"
  if (ob ~ /\/(libstdc\+\+|libgcc_s)\.so/) return "libstdc++"
  return "other"
}
# The uartport calls (bench_uart's kinds, then 1 MiB moved) and the fifoport
# ones (readn, writen), by label.
function object_call(what) {
  return what ~ /^(write1|read1|available|roundtrip|write_mib|read_mib|read_mib_double|readn|writen)$/
}
function fifo_call(what) { return what ~ /^(readn|writen)$/ }
# What Octave spends taking a result of that size (null_result).
function taking(what) { return what ~ /^take_mib/ }
function title(label,    f) {
  split(label, f, "/")
  if (f[1] == "null") return "null MEX call"
  if (f[1] == "write1") return "uartport write, 1 byte"
  if (f[1] == "read1") return "uartport read, 1 byte"
  if (f[1] == "available") return "uartport NumBytesAvailable"
  if (f[1] == "roundtrip") return "uartport write 1, read 1"
  if (f[1] == "write_mib") return "uartport write, 1 MiB"
  if (f[1] == "read_mib") return "uartport read, 1 MiB"
  if (f[1] == "read_mib_double") return "  the same as double"
  if (f[1] == "take_mib") return "null_result, 1 MiB uint8"
  if (f[1] == "take_mib_double") return "null_result, 1 MiB double"
  if (fifo_call(f[1])) return sprintf("fifoport %s, %s", f[1] == "readn" ? "read" : "write",
    f[2] < 1048576 ? f[2] / 1024 " KiB" : f[2] / 1048576 " MiB")
  return sprintf("%sattach, %s", f[1], f[2] == 1 ? "1 of 1" : f[2] " entries")
}
function per_call(label, key,    f) {
  split(label, f, "/")
  return (cost[label, key] - cost["empty/0/0", key]) / f[3]
}
# What the gateway and the hub run themselves or ask of Octave, libc and the
# C++ runtime, per call (the driver excluded).
function gateway_part(label) {
  return per_call(label, "module") + per_call(label, "hub") + per_call(label, "from:octave") + \
    per_call(label, "from:libc") + per_call(label, "from:libstdc++")
}
function fmt(x) { return sprintf("%9.0f", x) }
function short(ob) { sub(/.*\//, "", ob); sub(/\.so[.0-9]*$/, "", ob); return ob }
# The `count` costliest functions of window `label` in arr[label, name], each
# divided by `per`, largest first.
function largest(arr, label, per, count, form,    key, kk, fn, cnt, line, i, j, v) {
  cnt = 0
  for (key in arr) {
    split(key, kk, SUBSEP)
    if (kk[1] != label) continue
    fn = kk[2]
    if (length(fn) > 60) fn = substr(fn, 1, 57) "..."
    line[++cnt] = sprintf(form "  %s", arr[key] / per, fn)
  }
  # Largest first (insertion sort: a handful of lines).
  for (i = 2; i <= cnt; i++) {
    v = line[i]; j = i - 1
    while (j >= 1 && line[j] + 0 < v + 0) { line[j + 1] = line[j]; j-- }
    line[j + 1] = v
  }
  for (i = 1; i <= cnt && i <= count; i++) printf "  %s\n", line[i]
}
FNR == NR { if ($0 != "") plan[++n] = $0; next }
$2 == "self" {
  p = part($3)
  cost[$1, p] += $5
  cost[$1, "total"] += $5
  if (p == "module") fcost[$1, $4] += $5
  split($1, lf, "/")
  if (object_call(lf[1]) || taking(lf[1])) afcost[$1, short($3) ": " $4] += $5
  next
}
$2 == "call" && part($3) == "module" && part($4) != "module" {
  cost[$1, "from:" part($4)] += $5
}
END {
  nparts = split("module hub driver octave libc libstdc++ other", parts, " ")
  printf "Instructions (callgrind; Ir per call, less the empty window of the marks)\n"
  printf "  %-26s %9s", "", "total"
  for (i = 1; i <= nparts; i++) printf " %9s", parts[i]
  printf "\n"
  for (k = 1; k <= n; k++) {
    l = plan[k]
    if (l == "empty/0/0") continue
    split(l, f, "/")
    if (object_call(f[1]) && !fifo_call(f[1]) && !heading++)
      printf "  uartport on the simulated line in loopback (module: the gateway ftdiport_io)\n"
    if (fifo_call(f[1]) && !fifo_heading++)
      printf "  fifoport on the simulated pipes: counter source, counting sink (module: the gateway)\n"
    printf "  %-26s %s", title(l), fmt(per_call(l, "total"))
    for (i = 1; i <= nparts; i++) printf " %s", fmt(per_call(l, parts[i]))
    printf "\n"
  }
  null_ir = per_call("null/1/200", "total")
  printf "\n  What the module's code asks of the others (inclusive Ir per call of its\n"
  printf "  direct calls; driver = simulated driver, libc includes printf to /dev/null)\n"
  printf "  %-26s %9s %9s %9s %9s %9s %9s\n", "", "own code", "hub", "driver", "octave", "libc", "libstdc++"
  for (k = 1; k <= n; k++) {
    l = plan[k]
    split(l, f, "/")
    if (l == "empty/0/0" || l == "null/1/200" || taking(f[1])) continue
    printf "  %-26s %s %s %s %s %s %s\n", title(l), fmt(per_call(l, "module")),
      fmt(per_call(l, "from:hub")), fmt(per_call(l, "from:driver")), fmt(per_call(l, "from:octave")),
      fmt(per_call(l, "from:libc")), fmt(per_call(l, "from:libstdc++"))
  }
  printf "\n  Ir per listed entry (match on the last entry)\n"
  printf "  %-26s %10s %10s %10s\n", "", "total", "module", "driver"
  for (k = 1; k <= n; k++) {
    l = plan[k]
    split(l, f, "/")
    if (f[1] != "uart" && f[1] != "fifo") continue
    e = f[2]
    printf "  %-26s %10.1f %10.1f %10.1f\n", title(l), per_call(l, "total") / e,
      per_call(l, "module") / e, per_call(l, "driver") / e
    entry[f[1], e] = per_call(l, "total") / e
  }
  for (m = 1; m <= 2; m++) {
    mod = m == 1 ? "uart" : "fifo"
    r = entry[mod, 1000] / entry[mod, 16]
    printf "  %sattach: Ir per entry at 1,000 / at 16 = %.3f\n", mod, r
    print "ir_entry_ratio_" mod, r > values
    # What one more entry costs: between 1 and 16 entries, and between 127
    # and 1,000 (by part); equal figures mean the cost grows linearly.
    for (k = 1; k <= n; k++) {
      split(plan[k], f, "/")
      if (f[1] == mod) at[f[2]] = plan[k]
    }
    a = at[127]; b = at[1000]
    lo = (per_call(at[16], "total") - per_call(at[1], "total")) / 15
    hi = (per_call(b, "total") - per_call(a, "total")) / 873
    printf "    one more entry: %.0f Ir from 1 to 16 entries, %.0f Ir from 127 to 1,000 (ratio %.3f)\n", lo, hi, hi / lo
    print "ir_marginal_ratio_" mod, hi / lo > values
    printf "    one more entry from 127 to 1,000, by part:"
    for (i = 1; i <= nparts; i++) {
      d = (per_call(b, parts[i]) - per_call(a, parts[i])) / 873
      if (d >= 0.5 || d <= -0.5) printf " %s %.0f,", parts[i], d
    }
    printf " of which the module's printf of the line (libc) %.0f\n",
      (per_call(b, "from:libc") - per_call(a, "from:libc")) / 873
  }
  printf "\n  The module's own code per call, by function (1 of 1)\n"
  for (m = 1; m <= 2; m++) {
    mod = m == 1 ? "uart" : "fifo"
    printf "  %sattach:\n", mod
    largest(fcost, mod "/1/100", 100, 6, "%10.0f")
  }

  print "ir_null", null_ir > values
  if (heading) {
    # The uartport calls: what the gateway and the hub run themselves, against
    # a whole null MEX call.
    printf "\n  uartport and fifoport: the gateway's and the hub's own code per call, against a null\n"
    printf "  MEX call (%.0f Ir)\n", null_ir
    printf "  %-26s %9s %9s %9s %9s\n", "", "gateway", "hub", "own", "of null"
    for (k = 1; k <= n; k++) {
      split(plan[k], f, "/")
      if (!object_call(f[1])) continue
      own = per_call(plan[k], "module") + per_call(plan[k], "hub")
      printf "  %-26s %s %s %s %8.1f%%\n", title(plan[k]), fmt(per_call(plan[k], "module")),
        fmt(per_call(plan[k], "hub")), fmt(own), 100 * own / null_ir
      key = fifo_call(f[1]) ? f[1] "_" f[2] : f[1]
      print "ir_" key "_own", own > values
      print "ir_" key "_total", per_call(plan[k], "total") > values
      print "ir_" key "_gateway_per_byte", gateway_part(plan[k]) / f[2] > values
    }
    printf "\n  The gateway's own code per call, by function\n"
    for (k = 1; k <= n; k++) {
      split(plan[k], f, "/")
      if (f[1] != "write1" && f[1] != "read1" && plan[k] !~ /^(readn|writen)\/1024\//) continue
      printf "  %s:\n", title(plan[k])
      largest(fcost, plan[k], f[3], 6, "%10.0f")
    }
    printf "\n  Where a call goes (Ir per call, largest functions of any object)\n"
    for (k = 1; k <= n; k++) {
      split(plan[k], f, "/")
      if (f[1] != "write1" && f[1] != "available" && plan[k] !~ /^readn\/1024\//) continue
      printf "  %s:\n", title(plan[k])
      largest(afcost, plan[k], f[3], 6, "%10.0f")
    }
    printf "\n  Large transfers: Ir per byte, by part\n"
    printf "  %-26s %9s", "", "total"
    for (i = 1; i <= nparts; i++) printf " %9s", parts[i]
    printf "\n"
    for (k = 1; k <= n; k++) {
      split(plan[k], f, "/")
      if (!(f[1] ~ /_mib/ || (fifo_call(f[1]) && f[2] >= 1048576))) continue
      printf "  %-26s %9.2f", title(plan[k]), per_call(plan[k], "total") / f[2]
      for (i = 1; i <= nparts; i++) printf " %9.2f", per_call(plan[k], parts[i]) / f[2]
      printf "\n"
      print "ir_" f[1] "_" f[2] "_per_byte", per_call(plan[k], "total") / f[2] > values
    }
    printf "  What the gateway runs itself or asks of Octave, libc and the C++ runtime, per\n"
    printf "  byte (the driver excluded; a copy of the bytes would cost at least 0.06: two\n"
    printf "  instructions per 32 bytes)\n"
    for (k = 1; k <= n; k++) {
      split(plan[k], f, "/")
      if (!(f[1] ~ /_mib$/ || (fifo_call(f[1]) && f[2] >= 1048576))) continue
      printf "  %-26s %9.3f\n", title(plan[k]), gateway_part(plan[k]) / f[2]
    }
    for (k = 1; k <= n; k++) {
      split(plan[k], f, "/")
      if (f[1] !~ /^(write_mib|read_mib|take_mib)$/ && !(fifo_call(f[1]) && f[2] == 1048576)) continue
      printf "  where %s goes (Ir per byte, largest functions):\n", title(plan[k])
      largest(afcost, plan[k], f[3] * f[2], 4, "%10.2f")
    }
  }
  print "ir_uart_module", per_call("uart/1/100", "module") > values
  print "ir_fifo_module", per_call("fifo/1/100", "module") > values
  print "ir_uart_module_with_octave_libc", per_call("uart/1/100", "module") + \
    per_call("uart/1/100", "from:octave") + per_call("uart/1/100", "from:libc") + \
    per_call("uart/1/100", "from:libstdc++") > values
  print "ir_fifo_module_with_octave_libc", per_call("fifo/1/100", "module") + \
    per_call("fifo/1/100", "from:octave") + per_call("fifo/1/100", "from:libc") + \
    per_call("fifo/1/100", "from:libstdc++") > values
}
