# bash completion for ovra. The candidates come from the program itself (`ovra __complete`),
# so new commands and options complete without touching this file.
_ovra()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local IFS=$'\n'
    local candidates
    candidates=$("${COMP_WORDS[0]}" __complete "${COMP_WORDS[@]:1:COMP_CWORD-1}" 2>/dev/null) || return
    COMPREPLY=($(compgen -W "$candidates" -- "$cur"))
}
complete -o default -F _ovra ovra
