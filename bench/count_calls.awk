# Reads the strace log of one forced build (strace -y) and prints the read,
# write and seek calls on the temporary file nlindex.foo, and the number of
# sysop-name passes that read it: the ordering shows an initial, runs the
# pass when it is full, then backspaces over the initial.
/nlindex\.foo>/ {
  if ($0 ~ /^(read|pread64|readv)\(/) { reads++; if (sorting) pending = 1 }
  else if ($0 ~ /^(write|pwrite64|writev)\(/) writes++
  else if ($0 ~ /^lseek\(/) seeks++
  next
}
/^write\(1</ {
  if ($0 ~ /Sorting by sysop name/) sorting = 1
  else if (sorting && $0 ~ /"\\10", 1\)/ && pending) { passes++; pending = 0 }
}
END {
  if (pending) passes++
  printf "%d %d %d %d\n", reads, writes, seeks, passes
}
