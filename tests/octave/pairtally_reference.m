function out = pairtally_reference (alpha, beta, A, obslik)
  ## Expected transition counts written as plain loops, operation by operation
  ## in the order the plug-in uses: steps in descending order, each table
  ## summed row by row from 0, each entry divided by the sum and then added.
  [K, T] = size (alpha);
  out = zeros (K, K);
  w = zeros (K, 1);
  X = zeros (K, K);
  for t = T-1:-1:1
    for j = 1:K
      w(j) = beta(j, t+1) * obslik(j, t+1);
    endfor
    s = 0;
    for i = 1:K
      for j = 1:K
        x = (A(i, j) * alpha(i, t)) * w(j);
        X(i, j) = x;
        s = s + x;
      endfor
    endfor
    for i = 1:K
      for j = 1:K
        out(i, j) = out(i, j) + X(i, j) / s;
      endfor
    endfor
  endfor
endfunction
