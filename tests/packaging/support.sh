# What the tests of the installed Setup share (sourced): the verdicts, the
# installation of the build into a temporary root, and a volume set made
# there with the installed lingora-setupvol.

# Ends the test as skipped (CTest's SKIP_RETURN_CODE), with the reason.
skip() {
  echo "SKIPPED: $*"
  exit 77
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq ACTUAL EXPECTED WHAT
expect_eq() {
  if [ "$1" != "$2" ]; then
    fail "$3:"$'\n'"  expected: ${2//$'\n'/$'\n'            }"$'\n'"  got:      ${1//$'\n'/$'\n'            }"
  fi
}

# expect_contains TEXT PART WHAT
expect_contains() {
  case $1 in
    *"$2"*) ;;
    *) fail "$3: '$2' is not in:"$'\n'"$1" ;;
  esac
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
  fi
  echo "all checks passed"
}

require() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (scripts/install-deps installs it)"
  done
}

# install_build BUILD_DIR: `cmake --install` of the build below $work/root with
# the prefix /usr, as the package has it; sets root and usr.
install_build() {
  root=$work/root
  usr=$root/usr
  DESTDIR=$root cmake --install "$1" --prefix /usr >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; echo "FAIL: cmake --install failed" >&2; exit 1; }
}

# make_volume_set PAYLOAD OUT: the payload (the demonstration's, or a few
# files of its own when there is none) as a set of small volumes, so that it
# spans several; sets payload_dir.
make_volume_set() {
  payload_dir=$1
  if [ -z "$payload_dir" ] || [ ! -d "$payload_dir" ]; then
    payload_dir=$work/payload
    mkdir -p "$payload_dir/Words"
    head -c 30000 /dev/urandom >"$payload_dir/Lingora.exe"
    printf 'huis\thouse\nboom\ttree\n' >"$payload_dir/Voorbeeld.wdl"
    printf 'pan\tpan\n' >"$payload_dir/Words/Keuken.wdl"
    printf 'uninstaller' >"$payload_dir/Uninst.exe"
  fi
  "$usr/bin/lingora-setupvol" build "$payload_dir" "$2" --volume-size 12000 >/dev/null
}

# The installation folder of Lingora in the prefix, by its Install.log.
installed_folder() {
  local log
  log=$(find "$1/drive_c" -name Install.log -path '*Lingora*' 2>/dev/null | head -n 1)
  [ -n "$log" ] && dirname "$log"
}

# check_installed PREFIX WHAT: every payload file is in the installation folder
# as it is in the payload, and Install.log names it.
check_installed() {
  local folder file
  folder=$(installed_folder "$1") || { fail "$2: nothing was installed in $1"; return; }
  while IFS= read -r file; do
    cmp -s "$payload_dir/$file" "$folder/$file" || fail "$2: $file is not installed as it is in the set"
    # Its lines end in CR LF, and name the files with backslashes.
    grep -qxF "${file//\//\\}"$'\r' "$folder/Install.log" || fail "$2: Install.log does not name $file"
  done < <(cd "$payload_dir" && find . -type f | sed 's|^\./||')
}
