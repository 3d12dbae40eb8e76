# An older commit checked out beside the tree, and builds of the program
# from it and from the tree (sourced by scripts/differential.sh and
# bench/against.sh, not run).

# oldtree_checkout REV DIR: DIR becomes a worktree of its own holding REV,
# clean: made, or moved to REV where it is one already.
oldtree_checkout() {
  if [ -e "$2/.git" ]; then
    git -C "$2" checkout -q --detach --force "$1"
    git -C "$2" clean -qfdx
  else
    # -f: the folder may have been removed while still registered.
    rm -rf "$2"
    git worktree add -q -f --detach "$2" "$1"
  fi
}

# oldtree_build SOURCE BUILD-DIR [CMAKE-ARG...]: builds the program alone
# from the tree SOURCE in BUILD-DIR, through ccache, whose hashes then do
# not depend on where the tree lies (OLDTREE_JOBS: parallel jobs, default
# ninja's); on failure says why and exits.
oldtree_build() {
  local src=$1 dir=$2
  shift 2
  CCACHE_BASEDIR="$src" CCACHE_NOHASHDIR=1 cmake -S "$src" -B "$dir" -G Ninja -DBUILD_TESTING=OFF "$@" >/dev/null
  CCACHE_BASEDIR="$src" CCACHE_NOHASHDIR=1 ninja -C "$dir" ${OLDTREE_JOBS:+-j "$OLDTREE_JOBS"} ombra >/dev/null ||
    { echo "$(basename "$0" .sh): the build in $dir failed" >&2; ninja -C "$dir" ombra | tail -30 >&2; exit 1; }
}
