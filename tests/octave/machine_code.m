function code = machine_code (file)
  ## CODE = machine_code (FILE): the instructions of every function of the
  ## plug-in FILE (objdump -d), keyed by function name, without the
  ## addresses that depend on where the linker put the code and the data,
  ## and without the no-operations that pad a function to the next one.
  ## Two builds with the same flags and definitions give the same CODE for
  ## every function they share.
  [status, text] = system (sprintf ("objdump -d -C --no-show-raw-insn '%s'", file));
  assert (status, 0);
  text = regexprep (text, '^ +[0-9a-f]+:\t', "", "lineanchors");
  text = regexprep (text, '\<[0-9a-f]+ <', "<");
  text = regexprep (text, '-?0x[0-9a-f]+\(%rip\)', "(%rip)");
  text = regexprep (text, ' *#[^\n]*', "");
  text = regexprep (text, '^Disassembly of section[^\n]*\n', "", "lineanchors");
  text = regexprep (text, '^((data16|cs|ds) +)*(nop[a-z]*|xchg +%ax,%ax)( [^\n]*)?\n', "", "lineanchors");
  chunks = regexp (text, '\n(?=<[^\n]*>:\n)', "split");
  code = containers.Map ();
  for c = 2:numel (chunks)
    [name, body] = strtok (chunks{c}, "\n");
    code(name) = strtrim (body);
  endfor
endfunction
