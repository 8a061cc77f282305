% text = format_ratio (value): a ratio with two decimals, '-' for NaN.
function text = format_ratio (value)
  if (isnan (value))
    text = '-';
  else
    text = sprintf ('%.2f', value);
  end
end
