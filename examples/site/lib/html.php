<?php
// Helpers that turn data into HTML; everything shown is escaped here.
include_once dirname(__FILE__) . '/util/strings.php';

function html_escape($text)
{
    return htmlspecialchars($text, ENT_QUOTES, 'UTF-8');
}

function html_link($url, $text)
{
    return '<a href="' . html_escape($url) . '">' . html_escape($text) . '</a>';
}

function render_header($title)
{
    $page_title = html_escape($title);
    include dirname(__FILE__) . '/../templates/header.php';
}

function render_footer()
{
    include dirname(__FILE__) . '/../templates/footer.php';
}

function render_product_list($products)
{
    if (count($products) == 0) {
        return '<p>Nothing here yet.</p>';
    }
    $html = "<ul class=\"products\">\n";
    foreach ($products as $product) {
        $url = 'product.php?slug=' . urlencode($product['slug']);
        $html .= '  <li>' . html_link($url, $product['name']) . ' &ndash; '
               . html_escape(str_truncate($product['summary'], 60)) . "</li>\n";
    }
    return $html . "</ul>\n";
}

function render_product($product, $currency)
{
    return '<h1>' . html_escape($product['name']) . "</h1>\n"
         . '<p class="price">' . format_price($product['price'], $currency) . "</p>\n"
         . '<p>' . html_escape($product['description']) . "</p>\n";
}
