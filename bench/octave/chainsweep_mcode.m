% [gamma, alpha, beta, loglik] or [gamma, alpha, beta, xi, loglik] =
% chainsweep_mcode (prior, A, obslik): the usual vectorised forward-backward
% a user writes instead of chainsweep, a matrix-vector product per step and,
% with five results, one outer product per step for the pairwise tables.
function varargout = chainsweep_mcode (prior, A, obslik)
  [K, T] = size (obslik);
  alpha = zeros (K, T); beta = ones (K, T); c = zeros (1, T);
  At = A';
  a = prior .* obslik(:,1); c(1) = sum (a); alpha(:,1) = a / c(1);
  for t = 2:T
    a = (At * alpha(:,t-1)) .* obslik(:,t); c(t) = sum (a); alpha(:,t) = a / c(t);
  end
  for t = T-1:-1:1
    b = A * (beta(:,t+1) .* obslik(:,t+1)); beta(:,t) = b / sum (b);
  end
  gamma = alpha .* beta; gamma = gamma ./ sum (gamma, 1);
  loglik = sum (log (c));
  if (nargout < 5)
    varargout = {gamma, alpha, beta, loglik};
    return;
  end
  xi = zeros (K, K, T);
  for t = 1:T-1
    x = A .* (alpha(:,t) * (beta(:,t+1) .* obslik(:,t+1))');
    xi(:,:,t) = x / sum (x(:));
  end
  varargout = {gamma, alpha, beta, xi, loglik};
end
