# remove_tree TREE PARENT: deletes TREE, which must be an absolute path
# strictly below the existing folder PARENT. Anything still mounted below TREE
# (a bind mount of the host's /dev left by a killed chroot, say) is detached
# first, deepest first, and rm never crosses into another file system, so
# the deletion can only ever reach TREE's own files. Sourced by the tools
# that delete trees; tests/tools checks it.
remove_tree() {
  local tree=$1 parent=$2
  case $tree in /*) ;; *) echo "remove_tree: '$tree' is not absolute" >&2; return 1 ;; esac
  parent=$(realpath -e -- "$parent") || { echo "remove_tree: no folder '$2'" >&2; return 1; }
  tree=$(realpath -m -- "$tree")
  case $tree in
    "$parent"/?*) ;;
    *) echo "remove_tree: '$tree' is not below '$parent'" >&2; return 1 ;;
  esac
  [ -e "$tree" ] || [ -L "$tree" ] || return 0
  local mount_point
  # Mount points are the fifth field of mountinfo, with blanks octal-escaped.
  awk -v tree="$tree" '{ gsub(/\\040/, " ", $5) }
    $5 == tree || index($5, tree "/") == 1 { print length($5) "\t" $5 }' /proc/self/mountinfo \
    | sort -rn | cut -f2- | while IFS= read -r mount_point; do
        umount -l -- "$mount_point"
      done
  rm -rf --one-file-system -- "$tree"
}
