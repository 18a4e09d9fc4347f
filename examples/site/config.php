<?php
// Site-wide settings, read by every page.
$config = array(
    'site_name' => 'Corner Shop',
    'base_url'  => '/shop',
    'db'        => array(
        'host'     => 'localhost',
        'user'     => 'shop',
        'password' => 'secret',
        'name'     => 'shop',
    ),
    'currency'  => 'EUR',
);
