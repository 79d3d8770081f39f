#!/usr/bin/env bash
# verdalo-cli.exe under Wine: reads a UTF-16 file and standard input, answers from the
# ipdata.db and asn.db beside it, writes UTF-8 bytes to a pipe exactly as the native build
# does; expands wildcards in file operands itself and writes -o files.
# Usage: cli_wine.sh WINE_RUN VERDALO_CLI_EXE DATA_FILE [ASN_FILE]
set -u
wine_run=$(realpath "$1") exe=$(realpath "$2") data=$(realpath "$3") asn=${4:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
check() {  # name, then whether it held
  if [ "$2" = 0 ]; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi
}
[ -f "$(dirname "$exe")/ipdata.db" ] || { echo "FAIL no ipdata.db beside $exe"; exit 1; }
cp "$exe" "$dir/verdalo-cli.exe" && cp "$data" "$dir/ipdata.db"
# Without a packed asn.db (data/asn/ not fetched) the network fields are empty.
if [ -f "$asn" ]; then
  cp "$asn" "$dir/asn.db"
  chinanet=$'\t4134\tChinanet' google=$'\t15169\tGoogle LLC'
else
  chinanet=$'\t\t' google=$'\t\t'
fi
cd "$dir" || exit 1
printf '\xff\xfe' > in.txt
printf '访问 218.70.0.1:443\r\n\n240e:1::1 北京\n8.8.8.8' | iconv -f UTF-8 -t UTF-16LE >> in.txt

# Tabs written with printf so the expected bytes are plain to read.
t=$'\t'
{
  echo "218.70.0.1${t}重庆 电信${t}中国${t}重庆${t}重庆${t}${t}${t}电信${t}CN$chinanet"
  echo "${t}${t}${t}${t}${t}${t}${t}${t}${t}${t}"
  echo "240e:1::1${t}北京 中国电信${t}中国${t}北京${t}北京${t}${t}${t}中国电信${t}CN$chinanet"
  echo "8.8.8.8${t}美国 加利福尼亚州 圣克拉拉 山景城 谷歌公司DNS服务器${t}美国${t}加利福尼亚州${t}圣克拉拉${t}山景城${t}${t}谷歌公司DNS服务器${t}US$google"
} > expected.tsv
bash "$wine_run" ./verdalo-cli.exe in.txt 2> err.txt | cat > out.tsv
check "a UTF-16 file gives the native build's UTF-8 bytes" "$(cmp -s out.tsv expected.tsv; echo $?)"
[ -s err.txt ] && cat err.txt

printf '访问 218.70.0.1:443\n' | bash "$wine_run" ./verdalo-cli.exe --annotate - | cat > annotated.txt
check "annotated standard input in UTF-8" \
  "$(printf '访问 218.70.0.1:443 [重庆 电信]\n' | cmp -s - annotated.txt; echo $?)"

bash "$wine_run" ./verdalo-cli.exe ranges 重庆市 电信 --cidr | head -1 | cat > cidr.txt
check "ranges from Chinese keywords on the wide command line" "$(echo 14.104.0.0/13 | cmp -s - cidr.txt; echo $?)"

bash "$wine_run" ./verdalo-cli.exe --data none.db - < /dev/null > out2.txt 2> err2.txt
code=$?
# The messages follow the user's interface language: Chinese on a Chinese Windows, English
# under a Wine whose host has no Chinese locale (this machine's).
check "a missing data file: exit 2, the reason on standard error only" \
  "$([ $code = 2 ] && [ ! -s out2.txt ] &&
     grep -Eq '无法读取地址数据文件|Cannot read the address data file' err2.txt; echo $?)"

head -c 1000 ipdata.db > damaged.db
bash "$wine_run" ./verdalo-cli.exe --asn damaged.db - < /dev/null > out3.txt 2> err3.txt
code=$?
check "a damaged file named by --asn: exit 2, the reason" \
  "$([ $code = 2 ] && [ ! -s out3.txt ] &&
     grep -Eq 'ASN 数据文件 damaged.db 无法使用|The ASN data file damaged.db cannot be used' err3.txt
     echo $?)"
# The shell leaves wildcards to the program: matches in name order (letters in either case),
# folders left out; a pattern that matches nothing is said, the other operands still read.
mkdir logs logs/d.log
printf '218.70.0.1\n' > logs/a.log
printf '8.8.8.8\n' > logs/B.log
printf '240e:1::1\n' > logs/c.log
printf '1.2.3.4\n' > logs/c.txt
printf 'old\n' > answers.txt
bash "$wine_run" ./verdalo-cli.exe --fields ip -o answers.txt 'logs\*.log' 'logs\?.txt' \
  'logs\none*.gz' > out5.txt 2> err5.txt
code=$?
check "wildcards in name order into an -o file; one that matches nothing: exit 3, said" \
  "$([ $code = 3 ] && [ ! -s out5.txt ] && printf '218.70.0.1\n8.8.8.8\n240e:1::1\n1.2.3.4\n' |
     cmp -s - answers.txt && grep -qF 'none*.gz' err5.txt; echo $?)"
check "-o leaves no part file" "$(ls | grep -q '\.part$'; [ $? = 1 ]; echo $?)"

bash "$wine_run" ./verdalo-cli.exe --data none.db -o answers.txt - < /dev/null 2> /dev/null
code=$?
check "-o with a missing data file: exit 2, the file as it was" \
  "$([ $code = 2 ] && printf '218.70.0.1\n8.8.8.8\n240e:1::1\n1.2.3.4\n' | cmp -s - answers.txt; echo $?)"
printf '8.8.8.8\n' | bash "$wine_run" ./verdalo-cli.exe -o NUL - > out6.txt 2>&1
code=$?
check "-o NUL writes to the device, no file of its name made" \
  "$([ $code = 0 ] && [ ! -s out6.txt ] && ! ls | grep -qi '^nul'; echo $?)"
exit $fail
