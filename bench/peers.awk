# The same job as the engine's benchmark settings: header skipped; columns
# 3,5,1,2,4,6,7; dates m/d/yyyy -> mm/dd/yy; times h:mm am -> hh:mm am.
BEGIN { FPAT = "([^,]*)|(\"[^\"]*\")"; RS = "\r?\n"; ORS = "\r\n" }
NR == 1 { next }
{
  for (i = 1; i <= 7; i++) { f[i] = $i; gsub(/"/, "", f[i]) }
  split(f[1], d, "/")
  date = sprintf("%02d/%02d/%02d", d[1], d[2], d[3] % 100)
  split(f[2], t, /[: ]/)
  time = sprintf("%02d:%02d %s", t[1], t[2], t[3])
  print "\"" f[3] "\",\"" f[5] "\",\"" date "\",\"" time "\",\"" f[4] "\",\"" f[6] "\",\"" f[7] "\""
}
