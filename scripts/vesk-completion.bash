# Bash completion for the vesk tool. Source this file (". scripts/vesk-completion.bash"), or install it as
# /usr/share/bash-completion/completions/vesk (cmake --install does). The tool itself tells its commands
# ("vesk --help") and each command's options ("vesk COMMAND --help"), so completion never falls behind it.

# The commands of "vesk --help": "create", "remote add", ... (a grouped command is two words).
_vesk_commands() {
    "$1" --help 2>/dev/null | sed -n 's/^  vesk \([a-z][a-z-]*\)\( [a-z][a-z]*\)\{0,1\}\( .*\)\{0,1\}$/\1\2/p'
}

_vesk() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local vesk=${COMP_WORDS[0]}
    local commands command
    commands=$(_vesk_commands "$vesk")
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$(printf '%s\n' "$commands" | cut -d' ' -f1 | sort -u) --help --version" -- "$cur"))
        return
    fi
    command=${COMP_WORDS[1]}
    if printf '%s\n' "$commands" | grep -q "^${command} "; then
        if [ "$COMP_CWORD" -eq 2 ]; then
            COMPREPLY=($(compgen -W "$(printf '%s\n' "$commands" | sed -n "s/^${command} //p")" -- "$cur"))
            return
        fi
        command="$command ${COMP_WORDS[2]}"
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$("$vesk" $command --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u)" \
            -- "$cur"))
        return
    fi
    case "$command" in
        "remote rm" | "remote health" | "remote workspaces" | "sync "*)
            # The alias comes first: offer the registered remotes.
            if [ "$COMP_CWORD" -eq 3 ]; then
                COMPREPLY=($(compgen -W "$("$vesk" remote ls 2>/dev/null | cut -f1)" -- "$cur"))
                return
            fi
            ;;
    esac
    COMPREPLY=($(compgen -f -- "$cur"))
}

complete -o filenames -F _vesk vesk
