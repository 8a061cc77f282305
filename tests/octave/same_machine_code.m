function same_machine_code (reference, other)
  ## same_machine_code (REFERENCE, OTHER): fails unless every function of the
  ## plug-in file REFERENCE is in OTHER with the same instructions
  ## (machine_code); OTHER may hold more.
  expected = machine_code (reference);
  actual = machine_code (other);
  functions = expected.keys ();
  functions = functions(cellfun ("isempty", strfind (functions, "@plt")));
  assert (numel (functions) > 20, "%s: too few functions to compare", reference);
  for f = 1:numel (functions)
    assert (actual.isKey (functions{f}), "%s: %s missing", other, functions{f});
    assert (strcmp (actual(functions{f}), expected(functions{f})), ...
            "%s: %s differs from %s", other, functions{f}, reference);
  endfor
endfunction
