# Sourced by the scripts: installs the Debian packages the tool needs when
# they are missing (with apt-get as root; otherwise prints the line to run).

QT70_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libxml2-dev libudev-dev
  qt6-base-dev libgl1-mesa-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth
)

qt70_install_deps() {
  local missing=()
  local pkg
  for pkg in "${QT70_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q "${missing[@]}"
  else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    return 1
  fi
}
