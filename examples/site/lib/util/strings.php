<?php
// Small string helpers shared by the library.

function str_slug($text)
{
    $text = strtolower(trim($text));
    $text = preg_replace('/[^a-z0-9]+/', '-', $text);
    return trim($text, '-');
}

function str_truncate($text, $length)
{
    if (strlen($text) <= $length) {
        return $text;
    }
    return rtrim(substr($text, 0, $length - 3)) . '...';
}

function format_price($amount, $currency)
{
    return number_format($amount, 2, '.', ',') . ' ' . $currency;
}
