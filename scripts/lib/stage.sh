# Runs one stage of a test run and prints how long it took, so each stage's share of the CI time
# stays visible:  stage "name" command [args...]
stage() {
  local name=$1
  shift
  local start=$SECONDS
  echo "== $name"
  "$@"
  echo "== $name took $((SECONDS - start)) s"
}
