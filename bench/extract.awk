# The awk-and-sort way to a nodelist index, the peer tessel is measured
# against: every node line's zone, net, node number and sysop name (upper
# case, underscores as blanks), handed to two sorts at once, one by address
# and one by sysop name, then address. Pvt, Hold and Down lines are left
# out, and a Ctrl-Z at the start of a line ends its file, as in tessel.
#
#   LC_ALL=C awk -f extract.awk -v out=PREFIX FILE...
# writes PREFIX.byaddr and PREFIX.byname.
BEGIN {
  FS = ","
  OFS = "\t"
  byaddr = "LC_ALL=C sort -t '\t' -k1,1n -k2,2n -k3,3n > " out ".byaddr"
  byname = "LC_ALL=C sort -t '\t' -k4,4 -k1,1n -k2,2n -k3,3n > " out ".byname"
}
/^\032/ { nextfile }
/^;/ || NF < 5 { next }
{
  keyword = toupper($1)
  if (keyword == "ZONE") { zone = $2; net = $2; node = 0 }
  else if (keyword == "REGION" || keyword == "HOST") { net = $2; node = 0 }
  else node = $2
  if (keyword == "PVT" || keyword == "HOLD" || keyword == "DOWN") next
  name = toupper($5)
  gsub(/_/, " ", name)
  print zone, net, node, name | byaddr
  print zone, net, node, name | byname
}
END { close(byaddr); close(byname) }
