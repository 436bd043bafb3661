# Shared by scripts/run and scripts/test: the packages docket needs and their installation.
# shellcheck shell=bash

# Debian packages the build and the tests need.
DOCKET_PACKAGES=(
  cmake ninja-build g++ clang pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libreoffice-writer-nogui
  qt6-base-dev libboost-context-dev xvfb xauth x11-utils imagemagick fonts-dejavu-core adwaita-icon-theme
  poppler-utils libqt6svg6
)

docket_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# Installs the packages that are missing; on a system without apt-get it names them and fails.
docket_install_packages() {
  local missing=()
  local package
  for package in "${DOCKET_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! command -v apt-get >/dev/null 2>&1; then
    echo "docket needs these packages (Debian names): ${missing[*]}" >&2
    echo "Install them with your system's package manager and run this script again." >&2
    return 1
  fi
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

docket_jobs() { nproc 2>/dev/null || echo 2; }
